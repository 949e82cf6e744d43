#include "run_command.h"

#include <cstdio>

#ifdef _WIN32
// cmd.exe runs the line; _pclose gives the exit code itself.
#define VCQ_POPEN _popen
#define VCQ_PCLOSE _pclose
#else
#include <sys/wait.h>
#define VCQ_POPEN popen
#define VCQ_PCLOSE pclose
#endif

namespace vcq::test {

CommandOutput RunCommand(const std::string& command) {
    CommandOutput r;
    FILE* pipe = VCQ_POPEN(command.c_str(), "r");
    if (!pipe)
        return r;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        r.out += buffer;
    int status = VCQ_PCLOSE(pipe);
#ifdef _WIN32
    r.code = status;
#else
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return r;
}

}  // namespace vcq::test
