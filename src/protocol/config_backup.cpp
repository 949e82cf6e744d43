#include "protocol/config_backup.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/files.h"
#include "platform/system.h"

namespace vcq {
namespace fs = std::filesystem;
namespace {

constexpr size_t kChunk = 512;
constexpr size_t kMaxErrorText = 254;
constexpr int kMaxLevels = 20;
constexpr const char* kAgent = "VCQ FirmwareUpgrade";
constexpr size_t kMaxNamePart = 64;
// A camera's configuration is some kilobytes: anything this large is not one.
constexpr uint32_t kMaxConfigBytes = 8u * 1024 * 1024;
constexpr std::string_view kHtmlTag = "<html";
constexpr int kMaxSameNames = 999;

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

void SetError(std::string& errorText, std::string message) {
    if (message.size() > kMaxErrorText)
        message.resize(kMaxErrorText);
    errorText = std::move(message);
}

// Text from the camera made fit for a file name: letters, digits, ".", "-"
// and "_" only, no leading dot, bounded.
std::string SafeNamePart(std::string_view text, std::string_view whenEmpty) {
    std::string out;
    for (char c : text.substr(0, kMaxNamePart)) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '-' || c == '_';
        out += plain ? c : '_';
    }
    if (out.empty())
        return std::string(whenEmpty);
    if (out[0] == '.')
        out[0] = '_';
    return out;
}

// "name.cfg" for the first backup, "name-2.cfg" and so on after it.
std::string NumberedPath(const std::string& path, int number) {
    if (number < 2)
        return path;
    size_t dot = path.rfind('.');
    return path.substr(0, dot) + "-" + std::to_string(number) + path.substr(dot);
}

// Gives the finished file `partPath` the name `path`, or the first free
// numbered one after it; `path` then says which. The part file goes either
// way.
bool PlaceUnderFreeName(const std::string& partPath, std::string& path) {
    for (int number = 1; number <= kMaxSameNames; ++number) {
        const std::string target = NumberedPath(path, number);
        bool exists = false;
        if (files::RenameNoReplace(partPath, target, exists)) {
            path = target;
            return true;
        }
        if (!exists)
            break;
    }
    std::error_code ec;
    fs::remove(partPath, ec);
    return false;
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

std::string ConfigurationsFolder() {
    fs::path base;
    if (const char* programFiles = std::getenv("ProgramFiles"); programFiles && *programFiles) {
        base = programFiles;
    } else if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home && *home ? home : ".") / ".local" / "share";
    }
    return (base / "TEZO" / "VCQ FirmwareUpgrade" / "Configurations").string() +
           static_cast<char>(fs::path::preferred_separator);
}

std::string BatchFolder(std::time_t timeStamp) {
    std::tm local{};
    sys::LocalTime(timeStamp, local);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%y%m%d%H%M", &local);
    return ConfigurationsFolder() + stamp + static_cast<char>(fs::path::preferred_separator);
}

std::string BackupFilePath(std::time_t timeStamp, std::string_view modelName,
                           std::string_view serialText) {
    return BatchFolder(timeStamp) + Lower(SafeNamePart(modelName, "camera")) + "." +
           SafeNamePart(serialText, "unknown") + ".cfg";
}

std::string ConfigCameraPath(std::string_view modelName) {
    return "/home/l4/" + Lower(modelName) + ".cfg";
}

bool MakeFolders(const std::string& path) {
    auto isSeparator = [](char c) { return c == '/' || c == files::kPathSeparator; };
    if (std::count_if(path.begin(), path.end(), isSeparator) >= kMaxLevels)
        return false;
    auto last = std::find_if(path.rbegin(), path.rend(), isSeparator);
    if (last == path.rend())
        return true;  // a bare file name: the current folder
    // The platform's folder maker never tries to make a drive or share root.
    return files::CreateFolderPath(path.substr(0, static_cast<size_t>(path.rend() - last) - 1));
}

ConfigBackup::ConfigBackup(std::string_view host, std::string_view cameraPath,
                           std::string_view token, std::time_t timeStamp,
                           std::string_view modelName, std::string_view serialText,
                           bool deleteAfter)
    : deleteAfterRestore(deleteAfter),
      hostText(host),
      url("HTTP://" + std::string(host) + std::string(cameraPath)),
      localPath(BackupFilePath(timeStamp, modelName, serialText)),
      authHeader("Authorization: Basic " + std::string(token)) {}

bool ConfigBackup::Download() {
    errorText.clear();
    byteCount = 0;
    if (!MakeFolders(localPath)) {
        SetError(errorText, "Cannot create the folder of " + localPath);
        return false;
    }
    // Written under a name of its own and given the backup's name only once
    // whole, so that a failed download never leaves a file that looks like a
    // good backup, and two downloads never share a file.
    const std::string folder = fs::path(localPath).parent_path().string() +
                               static_cast<char>(fs::path::preferred_separator);
    std::string partPath;
    if (!files::CreateUniqueFile(folder, "~vc", partPath)) {
        SetError(errorText, "Cannot create a file in " + folder);
        return false;
    }
    std::ofstream file(partPath, std::ios::binary | std::ios::trunc);
    bool sawHtml = false;
    bool badStatus = false;
    bool tooLarge = false;
    std::string seen;  // the end of the last chunk, lower case: a tag may straddle two
    auto sink = [&](long status, std::string_view data) {
        if (status != 200) {
            badStatus = true;
            return false;
        }
        for (size_t at = 0; at < data.size(); at += kChunk) {
            std::string_view chunk = data.substr(at, kChunk);
            // A login or error page in any letter case is no configuration.
            seen = seen.substr(seen.size() < kHtmlTag.size() ? 0 : seen.size() - kHtmlTag.size()) +
                   Lower(chunk);
            if (seen.find(kHtmlTag) != std::string::npos) {
                sawHtml = true;
                return false;
            }
            if (byteCount + chunk.size() > kMaxConfigBytes) {
                tooLarge = true;
                return false;
            }
            file.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            if (!file)
                return false;
            byteCount += static_cast<uint32_t>(chunk.size());
        }
        return true;
    };
    http::GetResult got =
        file ? http::Get(url, kAgent, {authHeader, "Cache-Control: no-cache", "Pragma: no-cache"},
                         sink, limits_)
             : http::GetResult{};
    file.close();

    if (sawHtml)
        SetError(errorText, "The camera answered with a web page instead of its configuration");
    else if (tooLarge)
        SetError(errorText, "The camera's configuration is larger than " +
                                std::to_string(kMaxConfigBytes / (1024 * 1024)) + " MiB");
    else if (badStatus || (got.ok && got.status != 200))
        SetError(errorText, "The camera answered " + std::to_string(got.status) + " to " + url);
    else if (!file)
        SetError(errorText, "Cannot write " + partPath);
    else if (!got.ok && !got.lengthKnown && got.status == 200)
        // Without a length only an orderly close ends the file: this one broke off.
        SetError(errorText, "The camera's configuration broke off after " +
                                std::to_string(byteCount) + " bytes: " + got.error);
    else if (!got.ok)
        SetError(errorText, got.error.empty() ? "Cannot write " + partPath : got.error);
    else if (byteCount == 0)
        SetError(errorText, "The camera's configuration is empty");

    std::error_code ec;
    if (!errorText.empty()) {
        fs::remove(partPath, ec);
        return false;
    }
    // Never over another backup: a second one within the minute gets "-2".
    if (PlaceUnderFreeName(partPath, localPath))
        return true;
    SetError(errorText, "Cannot save the configuration as " + localPath);
    return false;
}

std::string WriteUpgradeLog(std::time_t batchStart, std::string_view text, std::string& error) {
    std::string path = BatchFolder(batchStart) + "upgrade-log.txt";
    if (!MakeFolders(path)) {
        error = "Cannot create the folder of " + path;
        return "";
    }
    // Whole or not at all, as a backup: written aside, then named.
    const std::string folder =
        fs::path(path).parent_path().string() + static_cast<char>(fs::path::preferred_separator);
    std::string partPath;
    if (!files::CreateUniqueFile(folder, "~vl", partPath)) {
        error = "Cannot create a file in " + folder;
        return "";
    }
    const std::string bytes = WithCrLf(text);
    std::ofstream file(partPath, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::error_code ec;
        fs::remove(partPath, ec);
        error = "Cannot write " + partPath;
        return "";
    }
    if (!PlaceUnderFreeName(partPath, path)) {
        error = "Cannot save the upgrade log as " + path;
        return "";
    }
    error.clear();
    return path;
}

bool ConfigBackup::ReadBack(std::vector<char>& buffer) {
    buffer.assign(byteCount, '\0');
    std::ifstream file(localPath, std::ios::binary);
    if (!file) {
        SetError(errorText, "Cannot open " + localPath);
        return false;
    }
    file.read(buffer.data(), static_cast<std::streamsize>(byteCount));
    if (static_cast<uint32_t>(file.gcount()) != byteCount) {
        buffer.resize(static_cast<size_t>(file.gcount()));
        SetError(errorText, "Cannot read " + localPath + " whole");
        return false;
    }
    return true;
}

void ConfigBackup::DeleteFileIfWanted() {
    if (!deleteAfterRestore)
        return;
    std::error_code ec;
    fs::remove(localPath, ec);
}

}  // namespace vcq
