// Asks cameras from a list's timer without blocking the thread that owns the
// list. Jobs stay in the order they were added; each tick visits at most four
// of them from the first: it starts the exchange of a job not yet asked on a
// worker thread, passes over a job whose exchange still runs, and hands back
// the jobs whose exchange has ended. The owner applies the outcomes on its
// own thread. Owner-thread only, except the exchanges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/detached_work.h"

namespace vcq {

struct JobReply {
    // The camera replied: the job is done. False asks again on a later tick.
    bool answered = false;
    std::string text;   // the reply as received
    std::string extra;  // what a follow-up exchange found (the MAC address)
};

// Runs on a worker thread. It must own everything it uses (captured by
// value): it may still run after the runner and its list are gone.
using JobExchange = std::function<JobReply()>;

class VerificationRunner {
  public:
    struct Options {
        size_t visitsPerTick = 4;
        // Exchanges without a reply before the job is given up; 0 never.
        int maxRounds = 3;
    };

    enum class Event {
        Asked,     // the job's first exchange started
        Answered,  // the camera replied; the job is retired
        GaveUp,    // maxRounds exchanges without a reply; the job is retired
    };

    struct Outcome {
        Event event;
        int32_t index;  // the job's row, as the owner numbers it now
        JobReply reply;
    };

    VerificationRunner() = default;
    explicit VerificationRunner(Options options) : options_(options) {}
    ~VerificationRunner();  // never waits: running exchanges end on their own
    VerificationRunner(const VerificationRunner&) = delete;
    VerificationRunner& operator=(const VerificationRunner&) = delete;

    void Add(int32_t index, JobExchange exchange);
    // One timer tick: the outcomes to apply, in list order. A tick that comes
    // while another is being handled (a box shown while applying outcomes)
    // returns nothing; the flag is shared by every runner.
    std::vector<Outcome> Tick();

    bool Empty() const { return jobs_.empty(); }
    size_t Pending() const { return jobs_.size(); }
    // Exchanges running now, for this runner.
    size_t Running() const;
    // The owner renumbered its rows (a sort, a deletion): each job's index
    // becomes map(index).
    void Reindex(const std::function<int32_t(int32_t)>& map);
    // Drops the jobs of a row; their running exchanges are not waited for.
    void Remove(int32_t index);
    void Clear();

  private:
    struct Job {
        int32_t index;
        JobExchange exchange;
        std::optional<DetachedWork<JobReply>> running;  // none while no exchange runs
        int rounds = 0;
        bool asked = false;
    };
    void Launch(Job& job);

    Options options_;
    std::vector<Job> jobs_;
};

}  // namespace vcq
