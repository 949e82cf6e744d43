// What one job's transfers share with whoever may ask the job to stop: the
// abort every transfer of the job obeys (its worker's own), and how far the
// package upload got, so that a stopped upload can say how slow it was.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/transfer_abort.h"

namespace vcq {

// Bytes of the package sent, of how many, in how long.
struct UploadTally {
    uint64_t sent = 0;
    uint64_t total = 0;
    std::chrono::milliseconds took{0};
};

// A batch's one upload at a time. A job prepared beside another camera's
// upload waits here and holds the line until its own upload has ended, so the
// next one starts the moment it does, not at the engine's next tick.
class UploadLine {
  public:
    // Waits for the line; false once `stop` is set. `waited`: whether
    // another held it when asked.
    bool Take(const std::atomic<bool>& stop, bool* waited = nullptr) {
        std::unique_lock lock(mutex_);
        if (waited)
            *waited = held_;
        while (held_) {
            if (stop)
                return false;
            freed_.wait_for(lock, std::chrono::milliseconds(20));
        }
        held_ = true;
        return true;
    }
    void Release() {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        freed_.notify_one();
    }

  private:
    std::mutex mutex_;
    std::condition_variable freed_;
    bool held_ = false;
};

class JobTransfers {
  public:
    using Clock = std::chrono::steady_clock;

    const std::shared_ptr<TransferAbort>& Abort() const { return abort_; }
    // A transfer of the job is under way, or its upload is between files.
    bool InTransfer() const { return uploading_ || abort_->Running() > 0; }

    // The package upload, from BeginUpload to EndUpload.
    void BeginUpload(uint64_t total) {
        total_ = total;
        sent_ = 0;
        begun_ = Clock::now().time_since_epoch().count();
        uploading_ = true;
    }
    void SetSent(uint64_t sent) { sent_ = sent; }
    void EndUpload() {
        ended_ = Clock::now().time_since_epoch().count();
        uploading_ = false;
    }
    UploadTally Tally() const {
        const Clock::rep end = uploading_ ? Clock::now().time_since_epoch().count() : ended_.load();
        return {sent_, total_,
                std::chrono::duration_cast<std::chrono::milliseconds>(
                    Clock::duration(end - begun_.load()))};
    }

  private:
    std::shared_ptr<TransferAbort> abort_ = std::make_shared<TransferAbort>();
    std::atomic<bool> uploading_{false};
    std::atomic<uint64_t> sent_{0};
    std::atomic<uint64_t> total_{0};
    std::atomic<Clock::rep> begun_{0};
    std::atomic<Clock::rep> ended_{0};
};

}  // namespace vcq
