// The step codes of a camera's upgrade: what the lists, the log and the
// headless tool show of its progress and outcome.
#pragma once

#include <cstdint>

namespace vcq {

// Step codes: progress and outcome of one camera. A step above 7 is final.
namespace step {
inline constexpr int32_t kNotStarted = 0;
inline constexpr int32_t kSavingConfig = 1;
inline constexpr int32_t kUploading = 2;
inline constexpr int32_t kOverwriting = 3;
// Shown by the batch list for the phases step 3 and a check cover.
inline constexpr int32_t kSearching = 4;
inline constexpr int32_t kRebooting = 5;
inline constexpr int32_t kLoadingConfig = 6;
inline constexpr int32_t kReconfiguring = 7;
inline constexpr int32_t kCompleted = 8;
inline constexpr int32_t kVersionUpRefused = 9;
inline constexpr int32_t kWrongVersion = 10;
inline constexpr int32_t kLoginError = 11;  // set by the batch engine's check
inline constexpr int32_t kUploadFailed = 12;
inline constexpr int32_t kLowMemory = 13;  // set by the batch engine's check
inline constexpr int32_t kBackupFailed = 14;
// Batch mode: upgraded, but the camera did not take its configuration back.
inline constexpr int32_t kNotRestored = 15;
}  // namespace step

inline bool IsFinalStep(int32_t s) {
    return s > step::kReconfiguring;
}

}  // namespace vcq
