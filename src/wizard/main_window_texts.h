// What the main window's two files share: the UI texts they show and the
// message a check's worker posts when it ends.
#pragma once

#include <cstdint>

#include "package/resources.h"
#include "platform/window_port.h"

namespace vcq::ui::main_window {

inline constexpr int kTextNext = 159;
inline constexpr int kTextBack = 162;
inline constexpr int kTextCancel = 165;
inline constexpr int kTextInProgress = 200;
inline constexpr int kTextVersionUpError = 206;
inline constexpr int kTextProceed = 209;
inline constexpr int kTextQuit = 248;
inline constexpr int kTextUpgrade = 266;
inline constexpr int kTextAbort = 267;
inline constexpr int kTextFinish = 268;
inline constexpr int kTextResultFinish = 194;
inline constexpr int kTextRetry = 195;

inline constexpr const char* kNotSuitable = "This firmware is not suitable for the target camera.";
inline constexpr const char* kCannotSave = "Cannot save camera's configuration!";
inline constexpr const char* kRestoreFailed = "Fault to upload configuration!";

// Posted by a check's worker when it ends: wParam 1 passed, lParam its serial.
inline constexpr uint32_t kMsgCheckEnded = kMsgGoToPage + 1;

}  // namespace vcq::ui::main_window
