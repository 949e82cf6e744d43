#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "platform/terminal.h"

namespace vcq::sys {

bool IsTerminal(StdStream stream) {
    const int fd = stream == StdStream::Input    ? STDIN_FILENO
                   : stream == StdStream::Output ? STDOUT_FILENO
                                                 : STDERR_FILENO;
    return ::isatty(fd) == 1;
}

int TerminalColumns() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

bool ReadHiddenLine(const std::string& prompt, std::string& line) {
    line.clear();
    termios saved{};
    if (::tcgetattr(STDIN_FILENO, &saved) != 0)
        return false;
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    int c = 0;
    while ((c = std::getchar()) != EOF && c != '\n')
        line.push_back(static_cast<char>(c));
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return c != EOF || !line.empty();
}

}  // namespace vcq::sys
