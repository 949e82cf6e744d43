#include "upgrade/phase_table.h"

#include <array>
#include <string>

#include "upgrade/steps.h"

namespace vcq {
namespace {

constexpr auto kNoBound = static_cast<std::chrono::milliseconds PhaseLimits::*>(nullptr);

// In the order of the Phase enum. Before the versionup the firmware is
// unchanged, so a failure there is an upload's (12) or the order's (9);
// from then on the camera may restart into anything (10). The reboot bound
// runs from the versionup through both waits.
constexpr std::array<PhaseRow, kPhaseCount> kPhases = {{
    // A check writes no step: its owner shows it while it waits for it.
    {Phase::Check, "check", kKeepStep, kKeepStep, step::kSearching, step::kVersionUpRefused,
     kNoBound, "", Phase::SaveConfiguration},
    {Phase::SaveConfiguration, "save", step::kSavingConfig, step::kSavingConfig,
     step::kSavingConfig, step::kBackupFailed, kNoBound, "", Phase::Prepare},
    {Phase::Prepare, "prepare", step::kUploading, step::kUploading, step::kUploading,
     step::kUploadFailed, kNoBound, "", Phase::EnableFtp},
    {Phase::EnableFtp, "ftp_on", kKeepStep, step::kUploading, step::kUploading, step::kUploadFailed,
     kNoBound, "", Phase::AwaitTurn},
    {Phase::AwaitTurn, "turn", kKeepStep, step::kUploading, step::kUploading, step::kUploadFailed,
     kNoBound, "", Phase::Upload},
    {Phase::Upload, "upload", kKeepStep, step::kUploading, step::kUploading, step::kUploadFailed,
     kNoBound, "", Phase::VersionUp},
    {Phase::VersionUp, "versionup", kKeepStep, step::kUploading, step::kUploading,
     step::kVersionUpRefused, kNoBound, "", Phase::WaitGone},
    {Phase::WaitGone, "gone", step::kOverwriting, step::kOverwriting, step::kOverwriting,
     step::kWrongVersion, &PhaseLimits::reboot,
     "the camera was not back with the new version within ", Phase::WaitBack},
    {Phase::WaitBack, "back", kKeepStep, step::kOverwriting, step::kRebooting, step::kWrongVersion,
     &PhaseLimits::reboot, "the camera was not back with the new version within ", Phase::Restore},
    {Phase::Restore, "restore", kKeepStep, step::kOverwriting, step::kLoadingConfig,
     step::kNotRestored, &PhaseLimits::restore, "the restore did not end within ", Phase::Apply},
    {Phase::Apply, "apply", step::kReconfiguring, step::kReconfiguring, step::kReconfiguring,
     step::kNotRestored, &PhaseLimits::restorePause, "", Phase::Ended},
}};

constexpr bool InEnumOrder() {
    for (size_t i = 0; i < kPhases.size(); ++i)
        if (static_cast<size_t>(kPhases[i].phase) != i)
            return false;
    return true;
}
static_assert(InEnumOrder(), "the phase table follows the Phase enum");

}  // namespace

const PhaseRow& PhaseRowOf(Phase phase) {
    return kPhases[static_cast<size_t>(phase)];
}

int32_t ShownStep(int32_t step, std::optional<Phase> phase) {
    return phase && PhaseRowOf(*phase).at == step ? PhaseRowOf(*phase).shown : step;
}

std::string BoundText(std::chrono::milliseconds length) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(length).count();
    return seconds >= 120 && seconds % 60 == 0 ? std::to_string(seconds / 60) + " minutes"
                                               : std::to_string(seconds) + " s";
}

std::string LateReason(Phase phase, const PhaseLimits& limits) {
    const PhaseRow& row = PhaseRowOf(phase);
    // A bound with no reason of its own (the pause before the restart) is
    // never a late reason.
    return row.bound && *row.lateReason ? row.lateReason + BoundText(limits.*row.bound)
                                        : std::string();
}

}  // namespace vcq
