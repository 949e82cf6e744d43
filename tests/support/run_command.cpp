#include "run_command.h"

#include <sys/wait.h>

#include <cstdio>

namespace vcq::test {

CommandOutput RunCommand(const std::string& command) {
    CommandOutput r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return r;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        r.out += buffer;
    int status = pclose(pipe);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace vcq::test
