#include "upgrade/phase_table.h"

#include <array>

#include "upgrade/steps.h"

namespace vcq {
namespace {

// In the order of the Phase enum. Before the versionup the firmware is
// unchanged, so a failure there is an upload's (12) or the order's (9);
// from then on the camera may restart into anything (10).
constexpr std::array<PhaseRow, kPhaseCount> kPhases = {{
    // A check writes no step: its owner shows it while it waits for it.
    {Phase::Check, "check", kKeepStep, kKeepStep, step::kSearching, step::kVersionUpRefused},
    {Phase::SaveConfiguration, "save", step::kSavingConfig, step::kSavingConfig,
     step::kSavingConfig, step::kBackupFailed},
    {Phase::Prepare, "prepare", step::kUploading, step::kUploading, step::kUploading,
     step::kUploadFailed},
    {Phase::EnableFtp, "ftp_on", kKeepStep, step::kUploading, step::kUploading,
     step::kUploadFailed},
    {Phase::AwaitTurn, "turn", kKeepStep, step::kUploading, step::kUploading, step::kUploadFailed},
    {Phase::Upload, "upload", kKeepStep, step::kUploading, step::kUploading, step::kUploadFailed},
    {Phase::VersionUp, "versionup", kKeepStep, step::kUploading, step::kUploading,
     step::kVersionUpRefused},
    {Phase::WaitGone, "gone", step::kOverwriting, step::kOverwriting, step::kOverwriting,
     step::kWrongVersion},
    {Phase::WaitBack, "back", kKeepStep, step::kOverwriting, step::kRebooting, step::kWrongVersion},
    // Its second half is at 7, which it writes itself (the camera applies
    // what it took back).
    {Phase::Restore, "restore", kKeepStep, step::kOverwriting, step::kLoadingConfig,
     step::kNotRestored},
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

}  // namespace vcq
