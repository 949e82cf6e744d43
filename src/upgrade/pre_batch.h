// What a batch does with a camera before it starts, from the version the
// camera reported: the detected list's default tick and the headless tool's
// filter read the same verdict.
#pragma once

#include <string>
#include <string_view>

namespace vcq {

enum class PreBatch {
    Upgrade,        // flashed as usual
    ResetFirst,     // flashed only once the operator agrees to lose its settings
    UpToDate,       // already on the package's version: left alone
    NotUpgradable,  // another firmware generation: never flashed
    Newer,          // newer than the package: flashed only on the operator's word
};

// The words a camera left alone shows, before the batch and in its rows.
inline constexpr const char* kUpToDateWord = "Up to date";
inline constexpr const char* kNotUpgradableWord = "Not upgradable";

// `cameraVersion` and `packageVersion` may carry the "ver" prefix. A camera
// whose version is unknown is upgraded: its check decides.
PreBatch DecidePreBatch(std::string_view cameraVersion, std::string_view packageVersion);

// Whether the row starts ticked in the detected list.
bool StartsTicked(PreBatch verdict);
// What the operator reads beside the camera's version ("Up to date"), empty
// when there is nothing to say.
std::string PreBatchNotice(PreBatch verdict);
// Why the camera is not flashed, for a tooltip, a log line or a refusal;
// empty for a camera that is. The versions name a newer camera's.
std::string PreBatchReason(PreBatch verdict, std::string_view cameraVersion = {},
                           std::string_view packageVersion = {});

}  // namespace vcq
