// How long a batch has run and how long it may still take: each camera's
// time in service is followed from the engine's rows, and the time left is
// what the cameras not yet done would take at the pace of the completed
// ones, at most four in service at a time.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "upgrade/batch_engine.h"

namespace vcq {

// What the estimate is made from, in seconds.
struct EstimateInput {
    std::vector<double> completedDurations;  // each completed camera's time in service
    std::vector<double> inServiceElapsed;    // each camera in service: its time so far
    size_t waiting = 0;                      // cameras yet to start
    size_t inService = kBatchMaxInService;   // cameras in service at once
};

// Seconds left, or nothing before the first camera completed. A camera in
// service longer than the usual is taken as about to end.
std::optional<double> EstimateSecondsLeft(const EstimateInput& input);

// "0:07", "12:34", "1:02:03".
std::string DurationText(double seconds);

// Follows one batch's rows through time. Used on the thread that ticks the
// engine; times are seconds on any steady clock.
class BatchTimeline {
  public:
    // A batch begins at `now`: every row not done by an earlier batch waits.
    void Begin(const BatchEngine& engine, double now);
    // Reads the rows after a tick.
    void Observe(const BatchEngine& engine, double now);
    // The batch ended at `now`: the elapsed time stops there.
    void End(double now);

    bool Begun() const { return begun_; }
    bool Running() const { return begun_ && !ended_; }
    double ElapsedSeconds(double now) const;
    std::optional<double> SecondsLeft(double now) const;
    // The first row in service, or -1.
    int FirstInService() const;

  private:
    enum class Phase { Before, Waiting, InService, Completed, Ended };
    struct Track {
        Phase phase = Phase::Waiting;
        double since = 0;     // went into service
        double duration = 0;  // in service until it completed
    };

    std::vector<Track> tracks_;
    std::string standby_;
    bool cancelled_ = false;
    bool begun_ = false;
    bool ended_ = false;
    double start_ = 0;
    double end_ = 0;
};

}  // namespace vcq
