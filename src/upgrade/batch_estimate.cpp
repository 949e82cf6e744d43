#include "upgrade/batch_estimate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "upgrade/job_values.h"
#include "upgrade/steps.h"

namespace vcq {

namespace {

double Mean(const std::vector<double>& values) {
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

}  // namespace

std::optional<double> EstimateSecondsLeft(const EstimateInput& input) {
    if (input.completedDurations.empty())
        return std::nullopt;
    const double usual = Mean(input.completedDurations);
    // Each place in service is free once its camera is done; the waiting
    // cameras take the place that frees first, in turn.
    std::vector<double> places(std::max<size_t>(input.inService, 1), 0.0);
    for (size_t i = 0; i < input.inServiceElapsed.size(); ++i) {
        const double left = std::max(usual - input.inServiceElapsed[i], 0.0);
        if (i < places.size())
            places[i] = left;
        else
            places.push_back(left);
    }
    for (size_t i = 0; i < input.waiting; ++i)
        *std::min_element(places.begin(), places.end()) += usual;
    double left = *std::max_element(places.begin(), places.end());
    if (input.waiting > 0 && !input.uploadDurations.empty()) {
        const double reboot = input.afterUpload.empty() ? 0.0 : Mean(input.afterUpload);
        left = std::max(left,
                        static_cast<double>(input.waiting) * Mean(input.uploadDurations) + reboot);
    }
    // Cameras under way past the usual time: how much longer is anyone's guess.
    const bool underWay = input.waiting > 0 || !input.inServiceElapsed.empty();
    if (underWay && left < 1.0)
        return std::nullopt;
    return left;
}

std::string DurationText(double seconds) {
    const long total = std::lround(std::max(seconds, 0.0));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

void BatchTimeline::Begin(const BatchEngine& engine, double now) {
    tracks_.assign(engine.RowCount(), Track{});
    // A retry leaves the cameras that completed before as they are.
    for (size_t i = 0; i < tracks_.size(); ++i)
        if (IsFinalStep(engine.Row(i).end.finalStep))
            tracks_[i].phase = Phase::Before;
    standby_ = BatchStatusText(step::kNotStarted);
    uploading_ = BatchStatusText(step::kUploading);
    cancelled_ = false;
    begun_ = true;
    ended_ = false;
    start_ = now;
    end_ = now;
    lastUploadEnd_ = now;
    Observe(engine, now);
}

void BatchTimeline::Observe(const BatchEngine& engine, double now) {
    if (!Running())
        return;
    cancelled_ = engine.CancelRequested();
    inService_ = engine.MaxInService();
    tracks_.resize(engine.RowCount());
    for (size_t i = 0; i < tracks_.size(); ++i) {
        Track& track = tracks_[i];
        if (track.phase == Phase::Before)
            continue;
        const BatchRow& row = engine.Row(i);
        // A row keeps its final step; until then its status tells whether
        // its camera is in service (a camera under its check still waits).
        // Uploads are timed on their own: they run one at a time.
        const bool uploading = row.statusText == uploading_;
        if (uploading && track.uploadSince < 0)
            track.uploadSince = now;
        else if (!uploading && track.uploadSince >= 0 && track.uploadEnd < 0) {
            // A camera prepared ahead shows "Uploading" while it waits for
            // the previous upload: its own began when that one ended.
            track.uploadSince = std::max(track.uploadSince, lastUploadEnd_);
            track.uploadEnd = lastUploadEnd_ = now;
        }
        Phase phase = Phase::Waiting;
        if (row.end.finalStep == step::kCompleted)
            phase = Phase::Completed;
        else if (IsFinalStep(row.end.finalStep))
            phase = Phase::Ended;
        else if (row.statusText != standby_)
            phase = Phase::InService;
        if (phase == track.phase)
            continue;
        if (track.phase == Phase::Waiting)
            track.since = now;
        if (phase == Phase::Completed)
            track.duration = now - track.since;
        track.phase = phase;
    }
}

void BatchTimeline::End(double now) {
    if (!Running())
        return;
    ended_ = true;
    end_ = now;
}

double BatchTimeline::ElapsedSeconds(double now) const {
    if (!begun_)
        return 0;
    return (ended_ ? end_ : now) - start_;
}

std::optional<double> BatchTimeline::SecondsLeft(double now) const {
    if (!Running())
        return std::nullopt;
    EstimateInput input;
    input.inService = inService_;
    for (const Track& track : tracks_) {
        if (track.uploadEnd >= 0)
            input.uploadDurations.push_back(track.uploadEnd - track.uploadSince);
        if (track.phase == Phase::Completed && track.uploadEnd >= 0)
            input.afterUpload.push_back(track.since + track.duration - track.uploadEnd);
        if (track.phase == Phase::Completed)
            input.completedDurations.push_back(track.duration);
        else if (track.phase == Phase::InService)
            input.inServiceElapsed.push_back(now - track.since);
        else if (track.phase == Phase::Waiting && !cancelled_)
            ++input.waiting;  // after Abort they are dropped, not started
    }
    return EstimateSecondsLeft(input);
}

int BatchTimeline::FirstInService() const {
    for (size_t i = 0; i < tracks_.size(); ++i)
        if (tracks_[i].phase == Phase::InService)
            return static_cast<int>(i);
    return -1;
}

}  // namespace vcq
