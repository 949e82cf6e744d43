// Runs a program through the shell and collects what it prints.
#pragma once

#include <string>

namespace vcq::test {

struct CommandOutput {
    int code = -1;  // exit status; -1 when it did not exit normally
    std::string out;
};

// `command` is a shell command line; stderr goes where it says.
CommandOutput RunCommand(const std::string& command);

}  // namespace vcq::test
