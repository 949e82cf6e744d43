// The upgrade log as tests compare it: each camera's indented line of
// versions and times differs from run to run, so it is checked apart.
#pragma once

#include <sstream>
#include <string>

namespace vcq::test {

inline bool IsRunLine(const std::string& line) {
    return line.starts_with("    Version ");
}

// The log without those lines; the others keep their line ends.
inline std::string WithoutRunLines(const std::string& log) {
    std::string kept;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (!IsRunLine(line))
            kept += line + (in.eof() ? "" : "\n");
    return kept;
}

}  // namespace vcq::test
