// Decisions of the manual upgrade shared by the wizard and the headless tool
// (the version gates hold in the batch too) and the progress page's step texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "upgrade/reason_code.h"

namespace vcq {

// The version gates, in this order: 1.08 and 1.09 lose their network
// settings on the way (the operator is asked); a 3.x camera never takes a
// 1.x or 2.x package, nor the reverse.
bool VersionNeedsResetQuestion(std::string_view cameraVersion);
inline constexpr const char* kResetQuestionText =
    "The current set up information of the camera including IP address will be reset to "
    "default.";
inline constexpr const char* kVersionRefusedText =
    "The firmware upgrade cannot be applied to the target camera.";
bool VersionRefused(std::string_view cameraVersion, std::string_view packageVersion);
// A camera newer than the package is never downgraded without the operator's
// word. Plain versions compare by their numbers ("1.10" > "1.09").
bool VersionIsNewer(std::string_view cameraVersion, std::string_view packageVersion);
// "newer than this program's firmware (1.10 > 1.08)"
std::string NewerFirmwareText(std::string_view cameraVersion, std::string_view packageVersion);
// The manual upgrade's question before it installs the older firmware.
std::string DowngradeQuestionText(std::string_view cameraVersion, std::string_view packageVersion);
inline constexpr const char* kUpToDateText = "The camera already runs the package's version.";

// The gates at once, for a front end that decides before it asks: a refusal
// wins over the downgrade, the downgrade over the reset question. Either
// version may carry the "ver" prefix.
enum class VersionGate { Pass, ResetQuestion, Refused, Downgrade };
VersionGate DecideVersionGate(std::string_view cameraVersion, std::string_view packageVersion);

// What the operator agreed to for one camera of a batch.
struct GateConsent {
    bool reset = false;      // 1.08 and 1.09 lose their settings
    bool reflash = false;    // a camera at the package's version is flashed again
    bool downgrade = false;  // a camera newer than the package is flashed
};
// The gates a batch job's own check applies to the version it read, in this
// order: another generation, newer than the package, up to date, the reset.
enum class JobGate { Pass, Refused, UpToDate, LeftOut };
// After the gates, when the settings are to be retained: the backup is named
// after the serial, so a camera whose serial cannot be read is left out.
inline constexpr const char* kNoSerialText =
    "the camera's serial cannot be read: not upgraded with its settings retained (its backup "
    "could not be named after it)";
// `code`, when given, says which gate in one word.
JobGate DecideJobGate(std::string_view cameraVersion, std::string_view packageVersion,
                      const GateConsent& consent, std::string& reason, ReasonCode* code = nullptr);

// UI text id of a step on the manual progress page; 0 for steps that leave
// the text as it is (and for step 0, which clears it).
int ManualStepTextId(int32_t step);

}  // namespace vcq
