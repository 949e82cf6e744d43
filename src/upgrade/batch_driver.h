// The one driver of a batch, for the wizard's page and the headless tool
// alike: the engine's tick every 33 ms, the jobs' one-second timers and the
// end of the batch. A front end calls Pulse() from its own clock (a window
// timer, or its loop) and hears through its Listener what changed.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/window_port.h"

namespace vcq {

class BatchEngine;

// The window port a batch's jobs are given: their one-second timers stay
// here for the driver to fire, whichever front end runs the batch; boxes and
// posted messages go on to the front end's own port. Any thread.
class JobTimerPort : public WindowPort {
  public:
    using Clock = std::chrono::steady_clock;
    explicit JobTimerPort(std::shared_ptr<WindowPort> window) : window_(std::move(window)) {}

    MessageAnswer MessageBox(const std::string& text, const std::string& caption, MessageIcon icon,
                             MessageButtons buttons) override;
    void SetTimer(uint32_t id, uint32_t periodMs) override;
    void KillTimer(uint32_t id) override;
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    WindowPort* Parent() override { return window_.get(); }

    // The timers due at `now`, each moved on by its period, without a burst
    // of catch-up calls after a stall.
    std::vector<uint32_t> Due(Clock::time_point now);
    bool TimerActive(uint32_t id) const;

  private:
    struct Timer {
        Clock::duration period;
        std::optional<Clock::time_point> due;
    };
    std::shared_ptr<WindowPort> window_;
    mutable std::mutex mutex_;
    std::map<uint32_t, Timer> timers_;
};

class BatchDriver {
  public:
    using Clock = std::chrono::steady_clock;

    // What a front end hears, on the thread that calls Pulse.
    class Listener {
      public:
        virtual ~Listener() = default;
        // The row's status, progress or version changed.
        virtual void RowChanged(size_t /*row*/) {}
        // The row's camera ended (final step, or dropped unstarted): once a run.
        virtual void RowEnded(size_t /*row*/) {}
        // No job is left: once a run.
        virtual void Ended() {}
    };

    BatchDriver(BatchEngine& engine, JobTimerPort& timers) : engine_(engine), timers_(timers) {}
    void SetListener(Listener* listener) { listener_ = listener; }

    // Starts the run (again after a retry): the first tick is due at once.
    void Begin(Clock::time_point now);
    bool Running() const { return running_; }
    // Ticks the engine when a tick is due, passes the jobs' due timers on,
    // and tells the listener. False once the run has ended.
    bool Pulse(Clock::time_point now);
    // When the next tick is due: a loop sleeps until then.
    Clock::time_point NextPulse() const { return nextTick_; }
    // The rows whose cameras are under way (begun, not ended), in order.
    std::vector<size_t> UnderWay() const;
    // The longest engine tick: what a window driving it would stall.
    Clock::duration LongestTick() const { return longestTick_; }

  private:
    void EndRows(bool all);

    BatchEngine& engine_;
    JobTimerPort& timers_;
    Listener* listener_ = nullptr;
    bool running_ = false;
    Clock::time_point nextTick_{};
    Clock::duration longestTick_{};
    std::vector<bool> ended_;  // by row, in this run
};

}  // namespace vcq
