#include <cstdio>

#include "cli/commands.h"

namespace vcq::cli {

int RunCheck(const Args&) {
    std::fprintf(stderr, "check: not available yet\n");
    return kUsageError;
}

}  // namespace vcq::cli
