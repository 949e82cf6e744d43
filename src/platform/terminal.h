// The console the headless tool runs in: whether a stream is a terminal,
// its width, and a line typed without echo. terminal_posix.cpp or
// terminal_win.cpp.
#pragma once

#include <string>

namespace vcq::sys {

enum class StdStream { Input, Output, Error };

// True when `stream` is a terminal (a console on Windows), not a file or pipe.
bool IsTerminal(StdStream stream);

// Columns of the terminal on standard output; 80 when it cannot tell.
int TerminalColumns();

// Prints `prompt` on stderr and reads one line from the terminal on standard
// input without showing it; false at the end of input or when standard input
// is no terminal. The line comes without its end, as UTF-8.
bool ReadHiddenLine(const std::string& prompt, std::string& line);

}  // namespace vcq::sys
