// Runs vcq-upgrade-cli as a program: its stdout read line by line as it
// comes, its stderr kept in a file, its exit code.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "child_process.h"

namespace vcq::test {

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CliProcess {
  public:
    // `input` becomes its standard input; none gives an empty one.
    CliProcess(const std::vector<std::string>& args, const std::filesystem::path& errFile,
               const std::filesystem::path& input = {})
        : errFile_(errFile), child_(VCQ_CLI, args, errFile, input) {}

    // The next line of its output with its end, or "" at the end.
    std::string ReadLine() {
        std::string line = child_.ReadLine();
        seen_ += line;
        return line;
    }
    void Interrupt() { child_.Interrupt(); }
    void Stop() { child_.Stop(); }

    Outcome Finish() {
        while (!ReadLine().empty()) {
        }
        Outcome outcome;
        outcome.code = child_.Wait();
        outcome.out = seen_;
        outcome.err = ReadWholeFile(errFile_);
        return outcome;
    }

  private:
    std::filesystem::path errFile_;
    ChildProcess child_;
    std::string seen_;
};

inline Outcome RunCliProgram(const std::vector<std::string>& args,
                             const std::filesystem::path& errFile,
                             const std::filesystem::path& input = {}) {
    return CliProcess(args, errFile, input).Finish();
}

}  // namespace vcq::test
