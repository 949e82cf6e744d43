// What a retry does with each camera of an ended batch: a camera that was
// upgraded is never flashed again, only given its configuration back.
#pragma once

#include <ctime>
#include <string>

#include "upgrade/batch_outcome.h"
#include "upgrade/job_values.h"

namespace vcq {

// How one camera of a batch ended, as its row or the batch's JSON tells it.
struct CameraEnd {
    BatchOutcome outcome = BatchOutcome::NotStarted;
    int32_t finalStep = 0;
    bool versionUpSent = false;   // the camera was told to flash
    std::string keptFile;         // its saved configuration, still on disk
    std::time_t versionUpAt = 0;  // when it was last told to flash
    bool cutOff = false;          // the operator's stop ended it
};

CameraEnd EndOf(const BatchRow& row);
RetryPlan PlanRetry(const CameraEnd& end);
// What the camera gets from a retry, for the operator's question: "upgrade",
// "configuration only", or the configuration with the upgrade when needed.
std::string RetryPlanText(const RetryPlan& plan);

}  // namespace vcq
