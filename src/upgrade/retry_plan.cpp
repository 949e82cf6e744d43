#include "upgrade/retry_plan.h"

#include "upgrade/steps.h"

namespace vcq {

RetryPlan PlanRetry(const CameraEnd& end) {
    switch (end.outcome) {
        case BatchOutcome::Completed:
        case BatchOutcome::UpToDate:
        case BatchOutcome::Refused:
            return {RetryAction::None, {}, 0, {}};
        case BatchOutcome::ConfigNotRestored:
            // Upgraded: even without its file it is not flashed again.
            return {RetryAction::Restore, end.keptFile, 0, {}};
        case BatchOutcome::Failed: {
            // Cut off after the versionup, its old firmware may still be
            // writing the new one: the retry waits out the reboot bound from
            // the flash before it decides. One that came back with another
            // version, or ran out of its bound, has no flash under way; one
            // the operator's stop cut off may still have.
            const std::time_t flashing =
                end.finalStep == step::kWrongVersion && !end.cutOff ? 0 : end.versionUpAt;
            // Past the versionup the camera may run the new firmware with
            // factory settings: only the kept file can put them back.
            if (end.flashed && !end.keptFile.empty())
                return {RetryAction::RestoreOrUpgrade, end.keptFile, flashing, {}};
            if (end.flashed)
                return {RetryAction::Upgrade, {}, flashing, {}};
            break;
        }
        case BatchOutcome::NotStarted:
            break;
    }
    return {RetryAction::Upgrade, {}, 0, {}};
}

std::string RetryPlanText(const RetryPlan& plan) {
    switch (plan.action) {
        case RetryAction::None:
            return "nothing";
        case RetryAction::Restore:
            return plan.keptFile.empty() ? "configuration only (its kept file is gone)"
                                         : "configuration only";
        case RetryAction::RestoreOrUpgrade:
            return "configuration, with the upgrade if it is not at the new version";
        case RetryAction::Upgrade:
            break;
    }
    return "upgrade";
}

}  // namespace vcq
