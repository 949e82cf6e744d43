#include "protocol/config_backup.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace vcq {
namespace fs = std::filesystem;
namespace {

constexpr size_t kChunk = 512;
constexpr size_t kMaxErrorText = 254;
constexpr int kMaxLevels = 20;
constexpr const char* kAgent = "VCQ FirmwareUpgrade";

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

std::string BackupFilePath(std::time_t timeStamp, std::string_view modelName,
                           std::string_view serialText) {
    std::tm local{};
    localtime_r(&timeStamp, &local);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%y%m%d%H%M", &local);
    return ConfigurationsFolder() + stamp + static_cast<char>(fs::path::preferred_separator) +
           Lower(modelName) + "." + std::string(serialText) + ".cfg";
}

std::string ConfigCameraPath(std::string_view modelName) {
    return "/home/l4/" + Lower(modelName) + ".cfg";
}

bool MakeFolders(const std::string& path) {
    const char separator = static_cast<char>(fs::path::preferred_separator);
    if (std::count(path.begin(), path.end(), separator) >= kMaxLevels)
        return false;
    for (size_t at = path.find(separator, 1); at != std::string::npos;
         at = path.find(separator, at + 1)) {
        fs::path folder = path.substr(0, at);
        std::error_code ec;
        if (fs::is_directory(folder, ec))
            continue;
        if (!fs::create_directory(folder, ec) && !fs::is_directory(folder, ec))
            return false;
    }
    return true;
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
    // Written under another name and renamed once whole, so that a failed
    // download never leaves a file that looks like a good backup.
    const std::string partPath = localPath + ".part";
    std::ofstream file(partPath, std::ios::binary | std::ios::trunc);
    if (!file) {
        SetError(errorText, "Cannot create " + partPath);
        return false;
    }
    bool sawHtml = false;
    bool badStatus = false;
    auto sink = [&](long status, std::string_view data) {
        if (status != 200) {
            badStatus = true;
            return false;
        }
        for (size_t at = 0; at < data.size(); at += kChunk) {
            std::string_view chunk = data.substr(at, kChunk);
            if (chunk.find("<HTML>") != std::string_view::npos) {
                sawHtml = true;
                return false;
            }
            file.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            if (!file)
                return false;
            byteCount += static_cast<uint32_t>(chunk.size());
        }
        return true;
    };
    http::GetResult got = http::Get(
        url, kAgent, {authHeader, "Cache-Control: no-cache", "Pragma: no-cache"}, sink, limits_);
    file.close();

    if (!got.ok && !sawHtml && !badStatus)
        SetError(errorText, got.error.empty() ? "Cannot write " + partPath : got.error);
    else if (badStatus || (got.ok && got.status != 200))
        SetError(errorText, "The camera answered " + std::to_string(got.status) + " to " + url);
    else if (!file)
        SetError(errorText, "Cannot write " + partPath);

    std::error_code ec;
    if (!errorText.empty() || sawHtml) {
        fs::remove(partPath, ec);
        return false;
    }
    fs::rename(partPath, localPath, ec);
    if (ec) {
        SetError(errorText, ec.message());
        fs::remove(partPath, ec);
        return false;
    }
    return true;
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
