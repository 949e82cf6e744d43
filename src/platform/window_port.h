// What non-UI code may ask of a window. Any thread may call these; the Qt
// windows marshal to the UI thread, the headless front end prints to stderr,
// tests record.
#pragma once

#include <cstdint>
#include <string>

namespace vcq {

enum class MessageIcon { Exclamation, Stop, Question, Information };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// Messages beyond the standard ones.
inline constexpr uint32_t kMsgGoToPage = 0x8064;  // WM_APP + 100
inline constexpr uint32_t kUpgradeTimerBase = 0x8100;

class WindowPort {
  public:
    virtual ~WindowPort() = default;

    // Modal; returns once the operator answered.
    virtual MessageAnswer MessageBox(const std::string& text, const std::string& caption,
                                     MessageIcon icon, MessageButtons buttons) = 0;
    virtual void SetTimer(uint32_t id, uint32_t periodMs) = 0;
    virtual void KillTimer(uint32_t id) = 0;
    virtual void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

// A progress bar the core may drive from any thread (the manual progress page).
class ProgressPort {
  public:
    virtual ~ProgressPort() = default;
    virtual void SetRange(int32_t lower, int32_t upper) = 0;
    virtual void SetPosition(int32_t position) = 0;
    virtual void Advance(int32_t by) = 0;
};

const char* ToString(MessageIcon icon);
const char* ToString(MessageButtons buttons);
const char* ToString(MessageAnswer answer);

}  // namespace vcq
