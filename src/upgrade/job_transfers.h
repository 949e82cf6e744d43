// What one job's transfers share with whoever may ask the job to stop: the
// abort every transfer of the job obeys (its worker's own), and how far the
// package upload got, so that a stopped upload can say how slow it was.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/transfer_abort.h"

namespace vcq {

// Bytes of the package sent, of how many, in how long.
struct UploadTally {
    uint64_t sent = 0;
    uint64_t total = 0;
    std::chrono::milliseconds took{0};
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
