#include "recording_window.h"

#include <algorithm>

namespace vcq::test {

MessageAnswer RecordingWindow::MessageBox(const std::string& text, const std::string& caption,
                                          MessageIcon icon, MessageButtons buttons) {
    std::lock_guard lock(mutex_);
    boxes_.push_back({text, caption, icon, buttons});
    if (!answers_.empty()) {
        MessageAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

void RecordingWindow::SetTimer(uint32_t id, uint32_t periodMs) {
    std::lock_guard lock(mutex_);
    std::erase_if(timers_, [id](const auto& t) { return t.first == id; });
    timers_.emplace_back(id, periodMs);
    timerStarts_.push_back(id);
}

void RecordingWindow::KillTimer(uint32_t id) {
    std::lock_guard lock(mutex_);
    std::erase_if(timers_, [id](const auto& t) { return t.first == id; });
}

void RecordingWindow::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard lock(mutex_);
    posts_.push_back({message, wParam, lParam});
}

void RecordingWindow::QueueAnswer(MessageAnswer answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

std::vector<RecordedBox> RecordingWindow::Boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::vector<std::string> RecordingWindow::BoxTexts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const auto& box : boxes_)
        texts.push_back(box.text);
    return texts;
}

std::vector<RecordedPost> RecordingWindow::Posts() const {
    std::lock_guard lock(mutex_);
    return posts_;
}

std::vector<uint32_t> RecordingWindow::ActiveTimers() const {
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> ids;
    for (const auto& t : timers_)
        ids.push_back(t.first);
    return ids;
}

int RecordingWindow::TimerStarts(uint32_t id) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(timerStarts_.begin(), timerStarts_.end(), id));
}

}  // namespace vcq::test
