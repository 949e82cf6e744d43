// Work on a thread of its own that no one waits for: the program's one way to
// run an exchange with a camera off the thread that owns a window or a list.
// The work owns what it uses (captured by value) and leaves its result in a
// state shared with the owner, which reads it when it likes; the owner may go
// away first and the work then ends on its own. Whatever the work itself
// calls at its end (`ended`) must outlive it: Running() stays true until
// `ended` has returned, so an owner can tell whether to let such a thing go.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace vcq {

template <typename Result>
class DetachedWork {
  public:
    DetachedWork() = default;

    // Starts `work` at once; `ended`, when given, is called on the work's
    // thread with the result once it is stored (to tell the owner).
    static DetachedWork Start(std::function<Result()> work,
                              std::function<void(const Result&)> ended = {}) {
        DetachedWork started;
        started.state_ = std::make_shared<State>();
        std::thread([state = started.state_, work = std::move(work),
                     ended = std::move(ended)]() mutable {
            Result result = work();
            {
                std::lock_guard lock(state->mutex);
                state->result = result;
            }
            if (ended)
                ended(result);
            // What they hold goes before the owner hears that the work is over.
            work = nullptr;
            ended = nullptr;
            state->running = false;
        }).detach();
        return started;
    }

    bool Started() const { return state_ != nullptr; }
    // The work, or its `ended`, still runs.
    bool Running() const { return state_ && state_->running; }
    // The result once the work has stored it.
    std::optional<Result> Outcome() const {
        if (!state_)
            return std::nullopt;
        std::lock_guard lock(state_->mutex);
        return state_->result;
    }

  private:
    struct State {
        std::mutex mutex;
        std::optional<Result> result;
        std::atomic<bool> running{true};
    };
    std::shared_ptr<State> state_;
};

}  // namespace vcq
