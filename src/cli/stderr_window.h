// The headless front end's window: message boxes are printed to stderr, one
// text per line, and answered with the first button; timers and posted
// messages are kept for the caller to inspect.
#pragma once

#include <mutex>
#include <vector>

#include "platform/window_port.h"

namespace vcq::cli {

class StderrWindow : public WindowPort {
  public:
    MessageAnswer MessageBox(const std::string& text, const std::string& caption, MessageIcon icon,
                             MessageButtons buttons) override;
    void SetTimer(uint32_t id, uint32_t periodMs) override;
    void KillTimer(uint32_t id) override;
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    std::vector<uint32_t> Timers() const;

  private:
    mutable std::mutex mutex_;
    std::vector<uint32_t> timers_;
};

}  // namespace vcq::cli
