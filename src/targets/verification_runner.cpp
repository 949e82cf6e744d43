#include "targets/verification_runner.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace vcq {
namespace {

// Shared by all lists, as their ticks come from one thread's timers.
std::atomic<bool> g_busy{false};

}  // namespace

// Shared with the worker, which may outlive the job and the runner.
struct VerificationRunner::Slot {
    std::mutex mutex;
    bool done = false;
    JobReply reply;
};

VerificationRunner::~VerificationRunner() = default;

void VerificationRunner::Add(int32_t index, JobExchange exchange) {
    jobs_.push_back(Job{index, std::move(exchange), nullptr});
}

size_t VerificationRunner::Running() const {
    return static_cast<size_t>(
        std::count_if(jobs_.begin(), jobs_.end(), [](const Job& job) { return job.running; }));
}

void VerificationRunner::Launch(Job& job) {
    auto slot = std::make_shared<Slot>();
    job.running = slot;
    std::thread([slot, exchange = job.exchange] {
        JobReply reply = exchange();
        std::lock_guard lock(slot->mutex);
        slot->reply = std::move(reply);
        slot->done = true;
    }).detach();
}

std::vector<VerificationRunner::Outcome> VerificationRunner::Tick() {
    std::vector<Outcome> outcomes;
    if (g_busy.exchange(true))
        return outcomes;
    const size_t visits = std::min(jobs_.size(), options_.visitsPerTick);
    size_t at = 0;
    for (size_t visit = 0; visit < visits && at < jobs_.size(); ++visit) {
        Job& job = jobs_[at];
        if (job.running) {
            JobReply reply;
            {
                std::lock_guard lock(job.running->mutex);
                if (!job.running->done) {
                    ++at;  // still asking
                    continue;
                }
                reply = std::move(job.running->reply);
            }
            job.running.reset();
            if (reply.answered || (options_.maxRounds > 0 && ++job.rounds >= options_.maxRounds)) {
                outcomes.push_back({reply.answered ? Event::Answered : Event::GaveUp, job.index,
                                    std::move(reply)});
                jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(at));
                continue;  // the next job moved into this place
            }
        }
        if (!job.asked) {
            job.asked = true;
            outcomes.push_back({Event::Asked, job.index, {}});
        }
        Launch(job);
        ++at;
    }
    g_busy = false;
    return outcomes;
}

void VerificationRunner::Reindex(const std::function<int32_t(int32_t)>& map) {
    for (Job& job : jobs_)
        job.index = map(job.index);
}

void VerificationRunner::Remove(int32_t index) {
    std::erase_if(jobs_, [index](const Job& job) { return job.index == index; });
}

void VerificationRunner::Clear() {
    jobs_.clear();
}

}  // namespace vcq
