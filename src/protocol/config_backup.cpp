#include "protocol/config_backup.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/files.h"
#include "platform/system.h"

namespace vcq {
namespace {

constexpr char kSeparator = files::kPathSeparator;

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
    files::RemoveFile(partPath);
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

std::string FolderOf(const std::string& path) {
    const size_t end = path.find_last_of(std::string("/") + kSeparator);
    return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

// Makes the folder of `path` and a new part file in it; false with what
// failed and the system's reason.
bool CreatePartFileIn(const std::string& path, const char* prefix, std::string& partPath,
                      std::string& error, std::string& reason) {
    if (!MakeFolders(path)) {
        reason = files::LastErrorText();
        error = "Cannot create the folder of " + path + ": " + reason;
        return false;
    }
    if (!files::CreateUniqueFile(FolderOf(path), prefix, partPath)) {
        reason = files::LastErrorText();
        error = "Cannot create a file in " + FolderOf(path) + ": " + reason;
        return false;
    }
    return true;
}

// The same, but a folder under Program Files that this user cannot create or
// write (no administrator rights, or made by an elevated run) gives way to
// the same folder under the user's own application data: `path` then names
// the file there.
bool CreatePartFile(std::string& path, const char* prefix, std::string& partPath,
                    std::string& error) {
    std::string reason;
    if (CreatePartFileIn(path, prefix, partPath, error, reason))
        return true;
    const std::string programs = ConfigurationsFolder();
    const std::string user = UserConfigurationsFolder();
    if (programs == user || path.rfind(programs, 0) != 0)
        return false;
    const std::string userPath = user + path.substr(programs.size());
    const std::string programsReason = reason;
    if (!CreatePartFileIn(userPath, prefix, partPath, error, reason)) {
        error += " (under Program Files: " + programsReason + ")";
        return false;
    }
    path = userPath;
    error.clear();
    return true;
}

bool WriteAll(std::FILE* file, std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

}  // namespace

std::string ConfigurationsFolderIn(const std::string& base) {
    return base + kSeparator + "TEZO" + kSeparator + "VCQ FirmwareUpgrade" + kSeparator +
           "Configurations" + kSeparator;
}

std::string ConfigurationsFolder() {
    return ConfigurationsFolderIn(files::ProgramsFolder());
}

std::string UserConfigurationsFolder() {
    return ConfigurationsFolderIn(files::UserDataFolder());
}

std::string BatchFolder(std::time_t timeStamp) {
    std::tm local{};
    sys::LocalTime(timeStamp, local);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%y%m%d%H%M", &local);
    return ConfigurationsFolder() + stamp + kSeparator;
}

std::string BackupFilePath(std::time_t timeStamp, std::string_view modelName,
                           std::string_view serialText) {
    return BatchFolder(timeStamp) + Lower(SafeNamePart(modelName, "camera")) + "." +
           SafeNamePart(serialText, "unknown") + ".cfg";
}

bool IsBackupFileOf(std::string_view path, std::string_view modelName,
                    std::string_view serialText) {
    const size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::string stem =
        Lower(SafeNamePart(modelName, "camera")) + "." + SafeNamePart(serialText, "unknown");
    if (!name.starts_with(stem) || !name.ends_with(".cfg"))
        return false;
    const std::string_view copy = name.substr(stem.size(), name.size() - stem.size() - 4);
    // "" or "-N": the backup itself, or one saved beside it within the minute.
    return copy.empty() || (copy.size() > 1 && copy[0] == '-' &&
                            copy.find_first_not_of("0123456789", 1) == std::string_view::npos);
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
    // Written under a name of its own and given the backup's name only once
    // whole, so that a failed download never leaves a file that looks like a
    // good backup, and two downloads never share a file.
    std::string partPath, error;
    if (!CreatePartFile(localPath, "~vc", partPath, error)) {
        SetError(errorText, error);
        return false;
    }
    std::FILE* file = files::OpenFile(partPath, "wb");
    bool writeFailed = file == nullptr;
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
            if (!WriteAll(file, chunk)) {
                writeFailed = true;
                return false;
            }
            byteCount += static_cast<uint32_t>(chunk.size());
        }
        return true;
    };
    http::GetResult got =
        file ? http::Get(url, kAgent, {authHeader, "Cache-Control: no-cache", "Pragma: no-cache"},
                         sink, limits_)
             : http::GetResult{};
    if (file && std::fclose(file) != 0)
        writeFailed = true;

    if (sawHtml)
        SetError(errorText, "The camera answered with a web page instead of its configuration");
    else if (tooLarge)
        SetError(errorText, "The camera's configuration is larger than " +
                                std::to_string(kMaxConfigBytes / (1024 * 1024)) + " MiB");
    else if (badStatus || (got.ok && got.status != 200))
        SetError(errorText, "The camera answered " + std::to_string(got.status) + " to " + url);
    else if (writeFailed)
        SetError(errorText, "Cannot write " + partPath);
    else if (!got.ok && !got.lengthKnown && got.status == 200)
        // Without a length only an orderly close ends the file: this one broke off.
        SetError(errorText, "The camera's configuration broke off after " +
                                std::to_string(byteCount) + " bytes: " + got.error);
    else if (!got.ok)
        SetError(errorText, got.error.empty() ? "Cannot write " + partPath : got.error);
    else if (byteCount == 0)
        SetError(errorText, "The camera's configuration is empty");

    if (!errorText.empty()) {
        files::RemoveFile(partPath);
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
    // Whole or not at all, as a backup: written aside, then named.
    std::string partPath;
    if (!CreatePartFile(path, "~vl", partPath, error))
        return "";
    std::FILE* file = files::OpenFile(partPath, "wb");
    bool ok = file && WriteAll(file, WithCrLf(text));
    if (file && std::fclose(file) != 0)
        ok = false;
    if (!ok) {
        files::RemoveFile(partPath);
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
    std::FILE* file = files::OpenFile(localPath, "rb");
    if (!file) {
        SetError(errorText, "Cannot open " + localPath + ": " + files::LastErrorText());
        return false;
    }
    const size_t got = std::fread(buffer.data(), 1, byteCount, file);
    std::fclose(file);
    if (got != byteCount) {
        buffer.resize(got);
        SetError(errorText, "Cannot read " + localPath + " whole");
        return false;
    }
    return true;
}

bool ConfigBackup::Adopt(const std::string& path) {
    localPath = path;
    errorText.clear();
    byteCount = 0;
    std::FILE* file = files::OpenFile(path, "rb");
    if (!file) {
        SetError(errorText, "Cannot open " + path + ": " + files::LastErrorText());
        return false;
    }
    const bool sized = std::fseek(file, 0, SEEK_END) == 0;
    const long size = sized ? std::ftell(file) : -1;
    std::fclose(file);
    if (size <= 0 || static_cast<unsigned long>(size) > kMaxConfigBytes) {
        SetError(errorText,
                 path + " is not a saved configuration (" + std::to_string(size) + " bytes)");
        return false;
    }
    byteCount = static_cast<uint32_t>(size);
    return true;
}

void ConfigBackup::DeleteFileIfWanted() {
    if (!deleteAfterRestore)
        return;
    files::RemoveFile(localPath);
}

}  // namespace vcq
