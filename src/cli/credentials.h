// Logins for the commands that talk to cameras, kept off the command line
// where they can: a password from a file, the environment or a prompt
// without echo, and a file of one login per camera for batch work. No
// password is ever printed, not even in an error about its line.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/options.h"
#include "upgrade/batch_engine.h"

namespace vcq::cli {

// The options that carry the shared login.
inline const std::set<std::string> kLoginOptions = {"--user", "--password", "--password-file"};

// The password, from the first of: --password, --password-file FILE (its
// first line), VCQ_PASSWORD, or a prompt without echo when `mayPrompt` and
// standard input is a terminal. Nothing, with `error`, when none gives one.
std::optional<std::string> ReadPassword(const ParsedArgs& parsed, bool mayPrompt,
                                        std::string& error);

// --user and the password together, for the commands of one camera.
struct Login {
    std::string user;
    std::string password;
};
std::optional<Login> ReadLogin(const ParsedArgs& parsed, std::string& error);

// The camera of a one-camera command: HOST[:PORT] as its first of `words`
// words and, `withLogin`, the administrator's Basic token.
struct OneCamera {
    std::string host;
    std::string token;
};
std::optional<OneCamera> ReadOneCamera(const ParsedArgs& parsed, size_t words, bool withLogin,
                                       std::string& error);

// One line of a logins file: "ADDRESS[,PORT],USER,PASSWORD".
struct CameraLogin {
    std::array<uint8_t, 4> ip{};
    int32_t port = 80;
    std::string user;
    std::string password;  // may hold commas: the rest of the line
};

// Reads a logins file: blank lines and lines beginning with "#" are
// skipped; a wrong line or an address given twice refuses the file with its
// line number (never its text, which may hold a password).
bool ReadLogins(const std::string& path, std::vector<CameraLogin>& logins, std::string& error);

// The logins of a batch: --logins FILE for some or all cameras, and --user
// with the password for the others. At least one of them is required.
struct BatchLogins {
    std::vector<CameraLogin> perCamera;
    std::optional<Login> shared;
};
bool ReadBatchLogins(const ParsedArgs& parsed, BatchLogins& logins, std::string& error);

// Gives every camera the login the file has for its address; the others
// keep `fallback` when there is one, else `error` names the first camera
// without a login.
bool ApplyLogins(const std::vector<CameraLogin>& logins, const std::optional<Login>& fallback,
                 std::vector<BatchCamera>& cameras, std::string& error);

}  // namespace vcq::cli
