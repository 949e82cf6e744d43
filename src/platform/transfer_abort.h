// Stopping transfers from another thread. The owner of a job keeps one
// TransferAbort and calls Abort() when the job must stop; every transfer the
// job makes ends within a second: libcurl's from their progress callbacks,
// WinINet's by closing their handles, the only way to end a call that blocks
// inside the system.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace vcq {

class TransferAbort {
  public:
    // From any thread; later transfers fail at once.
    void Abort();
    bool Aborted() const { return aborted_; }
    // For waits that look at the flag themselves (a socket's stop).
    const std::atomic<bool>* Flag() const { return &aborted_; }
    // Transfers under way that obey this abort.
    size_t Running() const;

    // A transfer under way. While it lives, Abort() calls `stop` once, on the
    // aborting thread; the destructor waits for such a call in progress.
    class Enlisted {
      public:
        Enlisted(std::shared_ptr<TransferAbort> abort, std::function<void()> stop = {});
        ~Enlisted();
        Enlisted(const Enlisted&) = delete;
        Enlisted& operator=(const Enlisted&) = delete;
        bool Aborted() const { return abort_ && abort_->Aborted(); }

      private:
        std::shared_ptr<TransferAbort> abort_;
        uint64_t id_ = 0;
    };

  private:
    mutable std::mutex mutex_;
    std::atomic<bool> aborted_{false};
    std::map<uint64_t, std::function<void()>> running_;
    uint64_t next_ = 0;
};

// The abort obeyed by transfers made on this thread whose caller gave none:
// a job's worker sets its own for the whole of its run.
class AbortScope {
  public:
    explicit AbortScope(std::shared_ptr<TransferAbort> abort);
    ~AbortScope();
    AbortScope(const AbortScope&) = delete;
    AbortScope& operator=(const AbortScope&) = delete;

  private:
    std::shared_ptr<TransferAbort> previous_;
};

// `given` when there is one, else this thread's (may be null).
std::shared_ptr<TransferAbort> AbortFor(const std::shared_ptr<TransferAbort>& given);

}  // namespace vcq
