// How long a batch has run and how long it may still take: each camera's
// time in service is followed from the engine's rows, and the time left is
// what the cameras not yet done would take at the pace of the completed
// ones, at most four in service at a time, and never less than their uploads
// take one after another.
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
    std::vector<double> uploadDurations;     // each finished upload's time
    std::vector<double> afterUpload;         // each completed camera's time from its upload's end
};

// Seconds left, or nothing when it cannot tell: before the first camera
// completed, or when the cameras still under way are all past the usual
// time (never 0 while one is). Uploads run one at a time, so the waiting
// cameras take at least their mean upload each, plus one reboot after the
// last.
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
        double since = 0;         // went into service
        double duration = 0;      // in service until it completed
        double uploadSince = -1;  // its upload began
        double uploadEnd = -1;    // and ended
    };

    std::vector<Track> tracks_;
    std::string standby_;
    std::string uploading_;
    size_t inService_ = kBatchMaxInService;  // the engine's places in service
    bool cancelled_ = false;
    bool begun_ = false;
    bool ended_ = false;
    double start_ = 0;
    double lastUploadEnd_ = 0;  // when the latest upload ended
    double end_ = 0;
};

}  // namespace vcq
