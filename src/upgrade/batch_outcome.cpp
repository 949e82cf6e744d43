#include "upgrade/batch_outcome.h"

#include "upgrade/batch_engine.h"

#include <iterator>

#include "upgrade/pre_batch.h"
#include "upgrade/steps.h"

namespace vcq {

BatchOutcome OutcomeOf(const BatchRow& row) {
    return row.end.outcome;
}

const char* OutcomeName(BatchOutcome outcome) {
    switch (outcome) {
        case BatchOutcome::Completed:
            return "completed";
        case BatchOutcome::Failed:
            return "failed";
        case BatchOutcome::ConfigNotRestored:
            return "config_not_restored";
        case BatchOutcome::UpToDate:
            return "up_to_date";
        case BatchOutcome::Refused:
            return "refused";
        case BatchOutcome::NotStarted:
            break;
    }
    return "not_started";
}

ReasonCode ReasonOf(const BatchRow& row) {
    if (row.end.outcome == BatchOutcome::NotStarted)
        return row.stoppedAfterFailures ? ReasonCode::StoppedAfterFailures : ReasonCode::NotStarted;
    return ReasonOf(row.end);
}

ReasonCode ReasonOf(const CameraEnd& end) {
    switch (end.outcome) {
        case BatchOutcome::Completed:
            return ReasonCode::Completed;
        case BatchOutcome::UpToDate:
            return ReasonCode::UpToDate;
        case BatchOutcome::Refused:
            return end.checkReason.value_or(ReasonCode::OtherGeneration);
        case BatchOutcome::ConfigNotRestored:
            return ReasonCode::RestoreRefused;
        case BatchOutcome::NotStarted:
            return ReasonCode::NotStarted;
        case BatchOutcome::Failed:
            break;
    }
    if (end.cutOff)
        return ReasonCode::Stopped;
    if (end.checkReason)
        return *end.checkReason;
    switch (end.finalStep) {
        case step::kLoginError:
            return ReasonCode::LoginRefused;
        case step::kLowMemory:
            return ReasonCode::LowMemory;
        case step::kBackupFailed:
            return ReasonCode::BackupFailed;
        case step::kUploadFailed:
            return ReasonCode::UploadFailed;
        case step::kWrongVersion:
            // Back with another version, or never back.
            return end.versionAfter.empty() ? ReasonCode::NotBack : ReasonCode::CameBackOld;
        default:
            return ReasonCode::VersionUpRefused;
    }
}

const char* ReasonCodeName(ReasonCode code) {
    static const char* const kNames[] = {"completed",         "up_to_date",
                                         "other_generation",  "newer_than_package",
                                         "reset_not_allowed", "login_refused",
                                         "not_administrator", "low_memory",
                                         "no_connection",     "check_failed",
                                         "serial_unreadable", "backup_failed",
                                         "upload_failed",     "versionup_refused",
                                         "not_back",          "came_back_old",
                                         "restore_refused",   "stopped",
                                         "not_started",       "stopped_after_failures",
                                         "upgrade",           "restore"};
    static_assert(std::size(kNames) == static_cast<size_t>(ReasonCode::Restore) + 1);
    return kNames[static_cast<size_t>(code)];
}

std::string RowStatusText(const BatchRow& row) {
    switch (OutcomeOf(row)) {
        case BatchOutcome::Refused:
            return kNotUpgradableWord;
        case BatchOutcome::UpToDate:
            return kUpToDateWord;
        case BatchOutcome::Failed:
        case BatchOutcome::ConfigNotRestored: {
            std::string result = BatchResultText(row.end.finalStep);
            while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
                result.pop_back();
            return result.empty() ? row.statusText : row.statusText + " " + result;
        }
        default:
            return row.statusText;
    }
}

OutcomeCounts CountOutcomes(const BatchEngine& engine) {
    OutcomeCounts counts;
    for (size_t i = 0; i < engine.RowCount(); ++i)
        if (engine.InLatestRun(i))
            counts.Add(OutcomeOf(engine.Row(i)));
    return counts;
}

std::string SummaryLine(const OutcomeCounts& counts) {
    static const char* const kWords[kBatchOutcomeCount] = {
        "completed",  "failed",         "configuration not back",
        "up to date", "not upgradable", "not started"};
    std::string line = "Summary:";
    for (size_t i = 0; i < kBatchOutcomeCount; ++i)
        line += std::string(i ? ", " : " ") + std::to_string(counts.counts[i]) + " " + kWords[i];
    return line;
}

}  // namespace vcq
