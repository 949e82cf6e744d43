// Environment changes for tests, the same on Linux and under Windows.
#pragma once

#include <cstdlib>
#include <random>
#include <string>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace vcq::test {

inline void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// On Windows an empty value removes the variable.
inline void UnsetEnv(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
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

// A name part no other test process has, even under wine, where every test
// gets a wine server of its own and with it the same small process ids.
inline std::string UniqueTag() {
    static const std::string tag =
        std::to_string(ProcessId()) + "-" + std::to_string(std::random_device{}());
    return tag;
}

}  // namespace vcq::test
