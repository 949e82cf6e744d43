// What the programs say about themselves: --version and the help texts.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

using vcq::test::CommandOutput;
using vcq::test::RunProgram;

// The lines of a program's output, whichever line end (a Windows program's
// text-mode output ends them in CR LF).
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

const char* const kStandInLine =
    "firmware package ver1.08 [stand-in firmware package: for vcq-camera-sim, not for real "
    "cameras]";

TEST(CliHelp, VersionNamesTheStandInPackage) {
    CommandOutput cli = RunProgram(VCQ_CLI, {"--version"});
    EXPECT_EQ(cli.code, 0);
    EXPECT_EQ(Lines(cli.out), (std::vector<std::string>{"vcq-upgrade-cli 1.0.0", kStandInLine}));
#ifdef VCQ_WIZARD
    CommandOutput wizard = RunProgram(VCQ_WIZARD, {"--version"});
    EXPECT_EQ(wizard.code, 0);
    EXPECT_EQ(Lines(wizard.out), (std::vector<std::string>{"vcq-upgrade 1.0.0", kStandInLine}));
#endif
}

// Each command's text under its usage line, every line at the same depth,
// alone and in the overview.
TEST(CliHelp, SummariesAreIndentedAlike) {
    const std::string indent = "      ";
    auto expectIndented = [&](const std::string& line) {
        EXPECT_EQ(line.rfind(indent, 0), 0u) << line;
        EXPECT_NE(line[indent.size()], ' ') << line;
        EXPECT_LE(line.size(), 90u) << line;
    };
    for (const char* command :
         {"check", "backup", "restore", "upgrade", "batch", "retry", "discover", "extract"}) {
        SCOPED_TRACE(command);
        CommandOutput help = RunProgram(VCQ_CLI, {command, "--help"});
        EXPECT_EQ(help.code, 0);
        auto lines = Lines(help.out);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0].rfind(std::string("Usage: vcq-upgrade-cli ") + command + " ", 0), 0u);
        for (size_t i = 1; i < lines.size(); ++i)
            expectIndented(lines[i]);
    }
    CommandOutput all = RunProgram(VCQ_CLI, {"--help"});
    EXPECT_EQ(all.code, 0);
    bool inCommands = false;
    for (const auto& line : Lines(all.out)) {
        if (line == "Commands:") {
            inCommands = true;
        } else if (line.empty()) {
            inCommands = false;
        } else if (inCommands && line.rfind("  ", 0) == 0 && line[2] != ' ') {
            continue;  // a usage line
        } else if (inCommands) {
            expectIndented(line);
        }
    }
}

}  // namespace
