// Environment changes for tests, the same on Linux and under Windows.
#pragma once

#include <cstdlib>
#include <random>
#include <string>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vcq::test {

// On Windows the C runtime's copy and the one children inherit are apart.
// Values are UTF-8.
inline void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    auto wide = [](const std::string& text) {
        std::wstring out(text.size() + 1, L'\0');
        out.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(),
                                                           static_cast<int>(out.size()))));
        if (!out.empty())
            out.pop_back();  // the terminating NUL
        return out;
    };
    _wputenv_s(wide(name).c_str(), wide(value).c_str());
    SetEnvironmentVariableW(wide(name).c_str(), wide(value).c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// On Windows an empty value removes the variable.
inline void UnsetEnv(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
    SetEnvironmentVariableA(name, nullptr);
#else
    unsetenv(name);
#endif
}

inline int ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
}

// A symbolic link to a folder (libstdc++ cannot make one on Windows).
inline bool MakeFolderLink(const std::string& target, const std::string& link) {
#ifdef _WIN32
    const DWORD unprivileged = 0x2;  // developer mode's flag, unknown to older headers
    return CreateSymbolicLinkA(link.c_str(), target.c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY | unprivileged) != 0;
#else
    return symlink(target.c_str(), link.c_str()) == 0;
#endif
}

// Wine's own functions are in its ntdll.
inline bool UnderWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// A name part no other test process has, even under wine, where every test
// gets a wine server of its own and with it the same small process ids.
inline std::string UniqueTag() {
    static const std::string tag =
        std::to_string(ProcessId()) + "-" + std::to_string(std::random_device{}());
    return tag;
}

}  // namespace vcq::test
