// What a retry does with each camera of an ended batch: a camera that was
// upgraded is never flashed again, only given its configuration back.
#pragma once

#include <string>

#include "upgrade/job_values.h"

namespace vcq {

RetryPlan PlanRetry(const CameraEnd& end);
// What the camera gets from a retry, for the operator's question: "upgrade",
// "configuration only", or the configuration with the upgrade when needed.
std::string RetryPlanText(const RetryPlan& plan);

}  // namespace vcq
