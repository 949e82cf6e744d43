#include "cli/stderr_window.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace vcq::cli {

std::string ConsoleText(std::string text) {
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;)
        text.erase(at, 1);
    return text;
}

MessageAnswer StderrWindow::MessageBox(const std::string& text, const std::string&, MessageIcon,
                                       MessageButtons buttons) {
    std::lock_guard lock(mutex_);
    std::fprintf(stderr, "%s\n", ConsoleText(text).c_str());
    MessageAnswer answer = MessageAnswer::Ok;
    if (buttons != MessageButtons::Ok) {
        bool yes = answerYes_;
        if (buttons == MessageButtons::YesNo)
            answer = yes ? MessageAnswer::Yes : MessageAnswer::No;
        else
            answer = yes ? MessageAnswer::Ok : MessageAnswer::Cancel;
        std::fprintf(stderr, "%s\n",
                     yes ? "Answered yes (--yes)." : "Answered no (give --yes to answer yes).");
    }
    std::fflush(stderr);
    return answer;
}

void StderrWindow::SetTimer(uint32_t id, uint32_t) {
    std::lock_guard lock(mutex_);
    if (std::find(timers_.begin(), timers_.end(), id) == timers_.end())
        timers_.push_back(id);
}

void StderrWindow::KillTimer(uint32_t id) {
    std::lock_guard lock(mutex_);
    std::erase(timers_, id);
}

void StderrWindow::PostMessage(uint32_t message, uintptr_t, intptr_t) {
    if (message == kMsgGoToPage)
        ++goToPage_;
}

bool StderrWindow::TimerActive(uint32_t id) const {
    std::lock_guard lock(mutex_);
    return std::find(timers_.begin(), timers_.end(), id) != timers_.end();
}

std::vector<uint32_t> StderrWindow::Timers() const {
    std::lock_guard lock(mutex_);
    return timers_;
}

}  // namespace vcq::cli
