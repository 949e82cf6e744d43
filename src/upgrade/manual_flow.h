// Decisions of the manual upgrade shared by the wizard and the headless tool:
// the version gates and the progress page's step texts.
#pragma once

#include <cstdint>
#include <string_view>

namespace vcq {

// The version gates, in this order: 1.08 and 1.09 lose their network
// settings on the way (the operator is asked); a 3.x camera never takes a
// 1.x or 2.x package, nor the reverse.
bool VersionNeedsResetQuestion(std::string_view cameraVersion);
bool VersionRefused(std::string_view cameraVersion, std::string_view packageVersion);

// UI text id of a step on the manual progress page; 0 for steps that leave
// the text as it is (and for step 0, which clears it).
int ManualStepTextId(int32_t step);

}  // namespace vcq
