// Runs a program of ours as the operator would, on Linux and on Windows alike:
// no shell between, its standard output read line by line as it comes, its
// standard error kept in a file, its standard input from a file, Ctrl-C, and
// its exit code.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vcq::test {

class ChildProcess {
  public:
    // An empty `errFile` throws standard error away; an empty `input` gives
    // an empty standard input.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::filesystem::path& errFile = {},
                 const std::filesystem::path& input = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line with its end, or "" once the output has ended.
    std::string ReadLine();
    // What a Ctrl-C on its console does (SIGINT on Linux).
    void Interrupt();
    // A request to end now: SIGTERM on Linux, Ctrl-Break on Windows.
    void Stop();
    // Reads the rest of the output away and gives the exit code; -1 when the
    // program did not start or did not exit by itself.
    int Wait();

  private:
    struct Native;
    std::unique_ptr<Native> native_;
    int code_ = -1;
};

struct CommandOutput {
    int code = -1;
    std::string out;
};

CommandOutput RunProgram(const std::string& program, const std::vector<std::string>& args);

}  // namespace vcq::test
