#include "cli/credentials.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "package/text_decoding.h"
#include "platform/files.h"
#include "platform/terminal.h"
#include "protocol/cgi_client.h"
#include "targets/camera_list_parser.h"

namespace vcq::cli {
namespace {

void StripLineEnd(std::string& line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
}

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "a.b.c.d[,PORT],USER,PASSWORD"; nothing when the line is wrong.
std::optional<CameraLogin> ReadLoginLine(const std::string& line) {
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
        const size_t comma = line.find(',', at);
        fields.push_back(line.substr(at, comma == std::string::npos ? comma : comma - at));
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
    if (fields.size() < 3)
        return std::nullopt;
    const bool hasPort = fields.size() >= 4 && AllDigits(fields[1]);
    const std::string where = hasPort ? fields[0] + "," + fields[1] : fields[0];
    const std::optional<CameraAddress> address = ReadCameraLine(where, ',');
    const size_t userField = hasPort ? 2 : 1;
    if (!address || fields[userField].empty())
        return std::nullopt;
    CameraLogin login;
    login.ip = address->ip;
    login.port = address->port;
    login.user = fields[userField];
    for (size_t i = userField + 1; i < fields.size(); ++i)
        login.password += (i > userField + 1 ? "," : "") + fields[i];
    return login;
}

}  // namespace

namespace {

std::optional<std::string> PasswordFromSources(const ParsedArgs& parsed, bool mayPrompt,
                                               std::string& source, std::string& error) {
    if (auto given = parsed.Option("--password")) {
        source = "--password";
        return given;
    }
    if (auto path = parsed.Option("--password-file")) {
        std::string bytes;
        if (!files::ReadWholeFile(*path, bytes)) {
            error = "cannot read the password file " + *path;
            return std::nullopt;
        }
        bytes = TextFileToUtf8(bytes);
        std::string line = bytes.substr(0, bytes.find('\n'));
        StripLineEnd(line);
        source = "the first line of the password file " + *path;
        return line;
    }
    if (auto variable = files::GetEnv("VCQ_PASSWORD")) {
        source = "VCQ_PASSWORD";
        return variable;
    }
    std::string typed;
    if (mayPrompt && sys::IsTerminal(sys::StdStream::Input) &&
        sys::ReadHiddenLine("Password: ", typed)) {
        source = "the password typed";
        return typed;
    }
    error = "no password: give --password-file FILE, VCQ_PASSWORD, or run on a terminal";
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadPassword(const ParsedArgs& parsed, bool mayPrompt,
                                        std::string& error) {
    std::string source;
    std::optional<std::string> password = PasswordFromSources(parsed, mayPrompt, source, error);
    // Sent to every camera, an empty password may lock the account on real cameras.
    if (password && password->empty()) {
        error = source + " is empty: no camera is asked with an empty password";
        return std::nullopt;
    }
    return password;
}

std::optional<OneCamera> ReadOneCamera(const ParsedArgs& parsed, size_t words, bool withLogin,
                                       std::string& error) {
    if (parsed.positional.size() != words) {
        error = words == 1 ? "give one HOST[:PORT]" : "give HOST[:PORT] and FILE";
        return std::nullopt;
    }
    OneCamera camera{parsed.positional[0], {}};
    net::Endpoint endpoint;
    if (!CgiClient::ParseHostText(camera.host, endpoint)) {
        error = "HOST must be a dotted IPv4 address, optionally with :PORT";
        return std::nullopt;
    }
    if (withLogin) {
        const std::optional<Login> login = ReadLogin(parsed, error);
        if (!login)
            return std::nullopt;
        camera.token = EncodeBasicToken(login->user + ":" + login->password);
    }
    return camera;
}

std::optional<Login> ReadLogin(const ParsedArgs& parsed, std::string& error) {
    auto user = parsed.Option("--user");
    if (!user) {
        error = "--user is required";
        return std::nullopt;
    }
    auto password = ReadPassword(parsed, true, error);
    if (!password)
        return std::nullopt;
    return Login{*user, *password};
}

bool ReadLogins(const std::string& path, std::vector<CameraLogin>& logins, std::string& error) {
    logins.clear();
    std::string bytes;
    if (!files::ReadWholeFile(path, bytes)) {
        error = "cannot read the logins file " + path;
        return false;
    }
    std::istringstream file(TextFileToUtf8(bytes));
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        StripLineEnd(line);
        if (line.empty() || line[0] == '#')
            continue;
        auto login = ReadLoginLine(line);
        const auto same = [&](const CameraLogin& other) { return login && other.ip == login->ip; };
        if (!login || std::any_of(logins.begin(), logins.end(), same)) {
            error =
                "the logins file " + path + ": line " + std::to_string(number) +
                (login ? " names a camera already given" : " is not ADDRESS[,PORT],USER,PASSWORD");
            logins.clear();
            return false;
        }
        logins.push_back(*login);
    }
    return true;
}

bool ReadBatchLogins(const ParsedArgs& parsed, BatchLogins& logins, std::string& error) {
    const auto path = parsed.Option("--logins");
    if (path && !ReadLogins(*path, logins.perCamera, error))
        return false;
    if (!parsed.Option("--user")) {
        if (!path)
            error = "--user or --logins FILE is required";
        return path.has_value();
    }
    logins.shared = ReadLogin(parsed, error);
    return logins.shared.has_value();
}

bool ApplyLogins(const std::vector<CameraLogin>& logins, const std::optional<Login>& fallback,
                 std::vector<BatchCamera>& cameras, std::string& error) {
    for (BatchCamera& camera : cameras) {
        auto own = std::find_if(logins.begin(), logins.end(),
                                [&](const CameraLogin& login) { return login.ip == camera.ip; });
        if (own != logins.end()) {
            camera.user = own->user;
            camera.password = own->password;
        } else if (fallback) {
            camera.user = fallback->user;
            camera.password = fallback->password;
        } else {
            error = "no login for " + CameraHostText(camera.ip, camera.port) +
                    ": add it to the logins file or give --user";
            return false;
        }
    }
    return true;
}

}  // namespace vcq::cli
