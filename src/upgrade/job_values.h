// The values one camera's job is built from and reports: its settings, its
// phases and their bounds, its outcome.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "package/resources.h"
#include "upgrade/reason_code.h"

namespace vcq {

inline constexpr int32_t kTickLimit = 360;  // six minutes of one-second ticks

// What a retry does with a camera of an ended batch.
enum class RetryAction {
    None,     // completed, up to date or not upgradable: left alone
    Upgrade,  // nothing was sent to it: the whole upgrade, as a first batch
    Restore,  // upgraded: its kept configuration sent back, nothing flashed
    // Told to flash, its end unknown: the kept configuration back when the
    // camera answers with the target version, else the whole upgrade.
    RestoreOrUpgrade,
};

struct RetryPlan {
    RetryAction action = RetryAction::Upgrade;
    std::string keptFile;  // the configuration saved before the first flash
    // When the camera was last told to flash (0: never): until its reboot
    // bound from then has passed, its old firmware may still be writing.
    std::time_t versionUpAt = 0;
    std::string versionBefore = {};  // what it ran when it was told, if known
};
inline bool RestoresKeptFile(const RetryPlan& plan) {
    return plan.action == RetryAction::Restore || plan.action == RetryAction::RestoreOrUpgrade;
}

// What one camera's job is built from; copied, so the job never reads its
// owner's settings again.
struct JobSettings {
    std::string hostText;   // "a.b.c.d[:port]"
    std::string authToken;  // Base64 of "name:password"
    ModelList models;
    std::string targetVersion;  // the package's, "ver1.08" or "1.08"
    std::string serial;         // part of the backup file name
    bool retain = false;        // the job saves the configuration itself
    bool deleteAfterRestore = false;
    std::time_t startTime = 0;  // names the backup folder; 0: when the job starts
    // A retry's: Restore and RestoreOrUpgrade send `keptFile` back instead
    // of saving the configuration anew.
    RetryPlan retry;
};

// The settings of a job for the camera at `hostText`; the rest as the
// caller sets them.
inline JobSettings CameraJob(std::string hostText, std::string authToken, ModelList models,
                             std::string targetVersion = {}) {
    JobSettings settings;
    settings.hostText = std::move(hostText);
    settings.authToken = std::move(authToken);
    settings.models = std::move(models);
    settings.targetVersion = std::move(targetVersion);
    return settings;
}

// The phases of a job, in order. Each has its own bound and its own reason;
// the step shown to the list and log stays the step table's.
enum class Phase {
    Check,
    SaveConfiguration,
    Prepare,
    EnableFtp,
    AwaitTurn,  // prepared beside another camera's upload: waits for the line
    Upload,
    VersionUp,
    WaitGone,
    WaitBack,
    Restore,  // the configuration sent back
    Apply,    // the camera applies what it took back
    Ended,    // after the last phase: the job wrote its end
};
inline constexpr size_t kPhaseCount = 11;  // the phases a job runs, Ended not among them

// Bounds of the phases that have no exchange of their own to bound them.
struct PhaseLimits {
    // From the versionup until the camera answers with the new version; it
    // stops once the camera is back.
    std::chrono::milliseconds reboot{std::chrono::seconds(kTickLimit)};
    // The restore's upload and its answer.
    std::chrono::milliseconds restore{std::chrono::seconds(60)};
    // After the restore's upload and again after step 7, so that the camera
    // applies it.
    std::chrono::milliseconds restorePause{2000};
    // Between polls of a camera that answered without the new version.
    std::chrono::milliseconds pollPause{100};
    // How long a camera must answer nothing, every request failing, before
    // it counts as restarting: a real restart is longer, a cut connection
    // or a busy moment shorter.
    std::chrono::milliseconds goneAfter{10000};
};

// How a camera's job ended: its one result, which the batch's row shows, the
// log and the events tell and a retry reads back. While the job runs, what it
// has found so far.
struct CameraEnd {
    // A batch's job settles it from its check; a lone job from its step.
    BatchOutcome outcome = BatchOutcome::NotStarted;
    int32_t finalStep = 0;
    std::string reason;    // why it failed, or what the operator must know
    std::string keptFile;  // the saved configuration still on disk, if any
    std::string versionBefore;
    std::string versionAfter;               // read once back from the flash
    bool restored = false;                  // the camera took its configuration back
    bool versionUpSent = false;             // this run told the camera to flash
    bool flashed = false;                   // told to, by this run or the one a retry comes from
    std::time_t versionUpAt = 0;            // when it was last told to
    std::optional<ReasonCode> checkReason;  // why its check kept it back
    bool cutOff = false;                    // the operator's stop ended it
    std::array<std::chrono::milliseconds, kPhaseCount> phaseTimes{};
};

// "ver1.08" and "1.08" are both "1.08".
std::string_view PlainVersion(std::string_view version);
// Digits, ".", digits.
bool IsPlainVersion(std::string_view version);
// The version the gates use, from the "Server: " header and sysinfo's
// SoftVersion (either may be missing): empty with `why` naming both when
// they disagree or neither is plain.
std::string AgreedVersion(std::string_view header, std::string_view softVersion, std::string& why);
// A reason with the kept configuration's file named, once.
std::string WithKeptFile(std::string reason, const std::string& keptFile);
// A camera's text for a log, a list or a terminal: control characters
// (CR, LF, ESC...) shown as \r, \n, \x1b.
std::string EscapeControls(std::string_view text);
// The end with the camera's texts in it (versions, reason) escaped so.
CameraEnd EscapedEnd(CameraEnd end);

}  // namespace vcq
