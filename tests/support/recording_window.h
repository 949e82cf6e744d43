// A WindowPort for tests: records every call and answers message boxes from
// a script the test sets up (OK by default, or the first button otherwise).
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window_port.h"

namespace vcq::test {

struct RecordedBox {
    std::string text;
    std::string caption;
    MessageIcon icon;
    MessageButtons buttons;
};

struct RecordedPost {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

class RecordingWindow : public WindowPort {
  public:
    // This window for owners that share theirs; the test outlives them.
    std::shared_ptr<WindowPort> Shared() { return {std::shared_ptr<WindowPort>{}, this}; }

    MessageAnswer MessageBox(const std::string& text, const std::string& caption, MessageIcon icon,
                             MessageButtons buttons) override;
    void SetTimer(uint32_t id, uint32_t periodMs) override;
    void KillTimer(uint32_t id) override;
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    // Answers for the next message boxes, in order.
    void QueueAnswer(MessageAnswer answer);

    std::vector<RecordedBox> Boxes() const;
    std::vector<std::string> BoxTexts() const;
    std::vector<RecordedPost> Posts() const;
    std::vector<uint32_t> ActiveTimers() const;
    int TimerStarts(uint32_t id) const;

  private:
    mutable std::mutex mutex_;
    std::deque<MessageAnswer> answers_;
    std::vector<RecordedBox> boxes_;
    std::vector<RecordedPost> posts_;
    std::vector<std::pair<uint32_t, uint32_t>> timers_;  // id, period
    std::vector<uint32_t> timerStarts_;
};

}  // namespace vcq::test
