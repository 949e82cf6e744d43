// Why a camera of a batch ended as it did, in one word a script can act on
// (the headless tool's "reason_code"). Derived from the final step and what
// the engine and the camera's check found, never from the reason's prose.
#pragma once

#include <cstddef>

namespace vcq {

// How a camera of a batch ended, in the words the page, the log and the
// headless tool share.
enum class BatchOutcome {
    Completed,
    Failed,
    ConfigNotRestored,  // upgraded, its configuration not back (its file kept)
    UpToDate,
    Refused,  // another firmware generation, or newer than the package
    NotStarted,
};
inline constexpr size_t kBatchOutcomeCount = 6;

enum class ReasonCode {
    Completed,
    UpToDate,
    OtherGeneration,
    NewerThanPackage,  // a downgrade the operator did not agree to
    ResetNotAllowed,   // 1.08 or 1.09 would lose its settings: not agreed
    LoginRefused,      // the camera refused the login
    NotAdministrator,  // it took the login, which is not its administrator's
    LowMemory,
    NoConnection,      // the camera never answered its check
    CheckFailed,       // it answered, but is not fit (model, image memory, reply)
    SerialUnreadable,  // settings retained, but its backup could not be named
    BackupFailed,
    UploadFailed,
    VersionUpRefused,  // the FTP switch or the version-up order not taken
    NotBack,           // told to flash, not back in time
    CameBackOld,       // back, with another version than the package's
    RestoreRefused,
    Stopped,  // cut off by the operator's stop
    NotStarted,
    StoppedAfterFailures,  // --max-failures reached before it started
    Upgrade,               // a dry run's: it would be upgraded
    Restore,               // a retry's dry run: it would get its configuration back only
};

// The snake_case word of a code ("login_refused").
const char* ReasonCodeName(ReasonCode code);

}  // namespace vcq
