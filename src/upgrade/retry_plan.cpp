#include "upgrade/retry_plan.h"

namespace vcq {

CameraEnd EndOf(const BatchRow& row) {
    return {OutcomeOf(row), row.finalStep, row.versionUpSent, row.keptFile, row.versionUpAt};
}

RetryPlan PlanRetry(const CameraEnd& end) {
    switch (end.outcome) {
        case BatchOutcome::Completed:
        case BatchOutcome::UpToDate:
        case BatchOutcome::Refused:
            return {RetryAction::None, {}};
        case BatchOutcome::ConfigNotRestored:
            // Upgraded: even without its file it is not flashed again.
            return {RetryAction::Restore, end.keptFile};
        case BatchOutcome::Failed:
            // Past the versionup the camera may run the new firmware with
            // factory settings: only the kept file can put them back.
            // Its old firmware may still be writing the new one: the retry
            // waits out the reboot bound from the flash before it decides.
            if (end.versionUpSent && !end.keptFile.empty())
                return {RetryAction::RestoreOrUpgrade, end.keptFile, end.versionUpAt};
            if (end.versionUpSent)
                return {RetryAction::Upgrade, {}, end.versionUpAt};
            break;
        case BatchOutcome::NotStarted:
            break;
    }
    return {RetryAction::Upgrade, {}};
}

}  // namespace vcq
