#include "child_process.h"

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <mutex>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vcq::test {

#ifdef _WIN32

struct ChildProcess::Native {
    HANDLE process = nullptr;
    DWORD id = 0;
    FILE* out = nullptr;
};

namespace {

// Inheritable handles exist only while this is held, so that no other child
// keeps one of them (and with it an output pipe open).
std::mutex g_startLock;

std::wstring Wide(const std::string& text) {
    if (text.empty())
        return {};
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// One word of a command line as the C runtime's argument parser reads it back.
std::wstring Quoted(const std::wstring& word) {
    if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos)
        return word;
    std::wstring quoted = L"\"";
    for (auto it = word.begin();; ++it) {
        size_t backslashes = 0;
        for (; it != word.end() && *it == L'\\'; ++it)
            ++backslashes;
        if (it == word.end()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        quoted.append(*it == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted.push_back(*it);
    }
    return quoted + L"\"";
}

BOOL WINAPI IgnoreEvent(DWORD) {
    return TRUE;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::filesystem::path& errFile, const std::filesystem::path& input)
    : native_(std::make_unique<Native>()) {
    std::wstring line = Quoted(Wide(program));
    for (const auto& arg : args)
        line += L" " + Quoted(Wide(arg));

    std::lock_guard<std::mutex> lock(g_startLock);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE err = CreateFileW(errFile.empty() ? L"NUL" : errFile.wstring().c_str(), GENERIC_WRITE,
                             share, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE in = CreateFileW(input.empty() ? L"NUL" : input.wstring().c_str(), GENERIC_READ, share,
                            &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = in;
    startup.hStdOutput = writeEnd;
    startup.hStdError = err;
    PROCESS_INFORMATION info{};
    // A hidden console of its own: Interrupt's Ctrl-C reaches this child alone.
    bool started = err != INVALID_HANDLE_VALUE && in != INVALID_HANDLE_VALUE &&
                   CreateProcessW(Wide(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                                  CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &info);
    CloseHandle(writeEnd);
    if (err != INVALID_HANDLE_VALUE)
        CloseHandle(err);
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
    if (!started) {
        CloseHandle(readEnd);
        return;
    }
    CloseHandle(info.hThread);
    native_->process = info.hProcess;
    native_->id = info.dwProcessId;
    // Bytes as they come: the tools write the same bytes as on Linux, and a
    // line that ends in CR LF must be seen with one CR, as a redirected
    // output gets it.
    native_->out =
        _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY | _O_BINARY), "rb");
}

namespace {

void SendConsoleEvent(DWORD processId, DWORD event) {
    std::lock_guard<std::mutex> lock(g_startLock);
    // The event goes to every process on the console, this one included.
    static const bool ignoring = SetConsoleCtrlHandler(IgnoreEvent, TRUE) != 0;
    (void)ignoring;
    FreeConsole();
    if (AttachConsole(processId)) {
        GenerateConsoleCtrlEvent(event, 0);
        FreeConsole();
    }
    AttachConsole(ATTACH_PARENT_PROCESS);  // back to the console the tests print on
}

}  // namespace

void ChildProcess::Interrupt() {
    if (native_->process)
        SendConsoleEvent(native_->id, CTRL_C_EVENT);
}

void ChildProcess::Stop() {
    if (native_->process)
        SendConsoleEvent(native_->id, CTRL_BREAK_EVENT);
}

int ChildProcess::Wait() {
    while (!ReadLine().empty()) {
    }
    if (native_->process) {
        WaitForSingleObject(native_->process, INFINITE);
        DWORD code = 0;
        code_ = GetExitCodeProcess(native_->process, &code) ? static_cast<int>(code) : -1;
        CloseHandle(native_->process);
        native_->process = nullptr;
    }
    return code_;
}

#else

struct ChildProcess::Native {
    pid_t pid = -1;
    FILE* out = nullptr;
};

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::filesystem::path& errFile, const std::filesystem::path& input)
    : native_(std::make_unique<Native>()) {
    // Everything the child needs is made before fork: a threaded parent's
    // child may only call what is safe in a signal handler.
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    int err = ::open(errFile.empty() ? "/dev/null" : errFile.c_str(),
                     O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int in = ::open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY | O_CLOEXEC);
    pid_t pid = err >= 0 && in >= 0 ? ::fork() : -1;
    if (pid == 0) {
        ::dup2(in, 0);
        ::dup2(fds[1], 1);
        ::dup2(err, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    for (int fd : {fds[1], err, in})
        if (fd >= 0)
            ::close(fd);
    if (pid < 0) {
        ::close(fds[0]);
        return;
    }
    native_->pid = pid;
    native_->out = ::fdopen(fds[0], "r");
}

void ChildProcess::Interrupt() {
    if (native_->pid > 0)
        ::kill(native_->pid, SIGINT);
}

void ChildProcess::Stop() {
    if (native_->pid > 0)
        ::kill(native_->pid, SIGTERM);
}

int ChildProcess::Wait() {
    while (!ReadLine().empty()) {
    }
    if (native_->pid > 0) {
        int status = 0;
        ::waitpid(native_->pid, &status, 0);
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        native_->pid = -1;
    }
    return code_;
}

#endif

ChildProcess::~ChildProcess() {
    Wait();
}

std::string ChildProcess::ReadLine() {
    std::string line;
    char buffer[512];
    while (native_->out && std::fgets(buffer, sizeof buffer, native_->out)) {
        line += buffer;
        if (line.back() == '\n')
            return line;
    }
    if (native_->out) {
        std::fclose(native_->out);
        native_->out = nullptr;
    }
    return line;
}

CommandOutput RunProgram(const std::string& program, const std::vector<std::string>& args) {
    ChildProcess child(program, args);
    CommandOutput result;
    for (std::string line; !(line = child.ReadLine()).empty();)
        result.out += line;
    result.code = child.Wait();
    return result;
}

}  // namespace vcq::test
