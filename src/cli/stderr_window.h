// The headless front end's window: message boxes are printed to stderr, one
// text per line. A question is answered No (Cancel) unless the operator gave
// --yes beforehand: the tool never says yes on anyone's behalf. Timers and
// posted messages are kept for the caller to inspect.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window_port.h"

namespace vcq::cli {

// `text` with its CR LF line ends as the console takes them (a bare LF, which
// Windows' console output turns back into CR LF).
std::string ConsoleText(std::string text);

class StderrWindow : public WindowPort {
  public:
    explicit StderrWindow(bool answerYes = false) : answerYes_(answerYes) {}

    MessageAnswer MessageBox(const std::string& text, const std::string& caption, MessageIcon icon,
                             MessageButtons buttons) override;
    void SetTimer(uint32_t id, uint32_t periodMs) override;
    void KillTimer(uint32_t id) override;
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    std::vector<uint32_t> Timers() const;
    bool TimerActive(uint32_t id) const;
    // The number of go-to-page messages posted so far.
    int GoToPagePosts() const { return goToPage_; }

  private:
    const bool answerYes_;
    mutable std::mutex mutex_;
    std::vector<uint32_t> timers_;
    std::atomic<int> goToPage_{0};
};

}  // namespace vcq::cli
