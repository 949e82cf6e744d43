// Decisions of the manual upgrade shared by the wizard and the headless tool
// (the version gates hold in the batch too) and the progress page's step texts.
#pragma once

#include <cstdint>
#include <string_view>

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

// Both gates at once, for a front end that decides before it asks: a refusal
// wins over the question. Either version may carry the "ver" prefix.
enum class VersionGate { Pass, ResetQuestion, Refused };
VersionGate DecideVersionGate(std::string_view cameraVersion, std::string_view packageVersion);

// UI text id of a step on the manual progress page; 0 for steps that leave
// the text as it is (and for step 0, which clears it).
int ManualStepTextId(int32_t step);

}  // namespace vcq
