#include "targets/verification_runner.h"

#include <algorithm>
#include <atomic>

namespace vcq {
namespace {

// Shared by all lists, as their ticks come from one thread's timers.
std::atomic<bool> g_busy{false};

}  // namespace

VerificationRunner::~VerificationRunner() = default;

void VerificationRunner::Add(int32_t index, JobExchange exchange) {
    jobs_.push_back(Job{index, std::move(exchange), std::nullopt});
}

size_t VerificationRunner::Running() const {
    return static_cast<size_t>(std::count_if(
        jobs_.begin(), jobs_.end(), [](const Job& job) { return job.running.has_value(); }));
}

// The exchange may outlive the job and the runner.
void VerificationRunner::Launch(Job& job) {
    job.running = DetachedWork<JobReply>::Start(job.exchange);
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
            std::optional<JobReply> outcome = job.running->Outcome();
            if (!outcome) {
                ++at;  // still asking
                continue;
            }
            JobReply reply = std::move(*outcome);
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
