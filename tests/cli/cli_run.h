// Runs vcq-upgrade-cli as a program: its stdout read line by line as it
// comes, its stderr kept in a file, its exit code.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
    CliProcess(const std::vector<std::string>& args, const std::filesystem::path& errFile)
        : errFile_(errFile) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], 1);
            std::freopen(errFile.c_str(), "w", stderr);
            std::freopen("/dev/null", "r", stdin);
            ::close(fds[0]);
            ::close(fds[1]);
            std::vector<char*> argv{const_cast<char*>(VCQ_CLI)};
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(VCQ_CLI, argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        out_ = ::fdopen(fds[0], "r");
    }
    ~CliProcess() { Finish(); }

    // The next line of its output with its end, or "" at the end.
    std::string ReadLine() {
        std::string line;
        char buffer[512];
        while (out_ && std::fgets(buffer, sizeof buffer, out_)) {
            line += buffer;
            if (line.back() == '\n')
                break;
        }
        seen_ += line;
        return line;
    }
    void Interrupt() { ::kill(pid_, SIGINT); }

    Outcome Finish() {
        if (out_) {
            while (!ReadLine().empty()) {
            }
            std::fclose(out_);
            out_ = nullptr;
            int status = 0;
            ::waitpid(pid_, &status, 0);
            outcome_.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            outcome_.out = seen_;
            outcome_.err = ReadWholeFile(errFile_);
        }
        return outcome_;
    }

  private:
    std::filesystem::path errFile_;
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
    std::string seen_;
    Outcome outcome_;
};

inline Outcome RunCliProgram(const std::vector<std::string>& args,
                             const std::filesystem::path& errFile) {
    return CliProcess(args, errFile).Finish();
}

}  // namespace vcq::test
