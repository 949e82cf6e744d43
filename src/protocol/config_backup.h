// One camera's saved configuration: its download before the upgrade, the
// dated backup file, reading it back for the restore, and its removal.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http_transfer.h"

namespace vcq {

// Where backups go: $ProgramFiles/TEZO/VCQ FirmwareUpgrade/Configurations/
// when that variable is set, else the same folders under the user's data
// folder (the local app-data folder on Windows; $XDG_DATA_HOME, or
// ~/.local/share).
std::string ConfigurationsFolder();

// The same folders under the user's data folder: where a backup or log goes
// when this user cannot create or write the one under Program Files.
std::string UserConfigurationsFolder();

// "<folder>/<yyMMddHHmm>/", local time: where a batch started at `timeStamp`
// keeps its backups and its log.
std::string BatchFolder(std::time_t timeStamp);

// "<folder>/<yyMMddHHmm>/<model lower case>.<serial>.cfg", local time. The
// camera's texts are made safe first: other characters than letters, digits,
// ".", "-" and "_" become "_", no leading dot, at most 64 of them; an empty
// serial is "unknown".
std::string BackupFilePath(std::time_t timeStamp, std::string_view modelName,
                           std::string_view serialText);

// Whether `path` is named as BackupFilePath names the backup of the camera
// with `serialText` (any folder, any time), or a numbered copy of it ("-2").
bool IsBackupFileOf(std::string_view path, std::string_view modelName, std::string_view serialText);

// Creates the missing folders of a file path; refuses 20 or more levels.
bool MakeFolders(const std::string& path);

// Writes a batch's upgrade log as "upgrade-log.txt" in BatchFolder(batchStart),
// whether or not any backup went there: UTF-8, every line ending in CR LF
// (a bare LF or CR becomes CR LF). Falls back to UserConfigurationsFolder()
// as a backup does. Never replaces a file, so a second batch
// in the same minute gets "upgrade-log-2.txt". Returns the path, or an
// empty string with `error` saying why.
std::string WriteUpgradeLog(std::time_t batchStart, std::string_view text, std::string& error);

// "/home/l4/" + the model in lower case + ".cfg".
std::string ConfigCameraPath(std::string_view modelName);

class ConfigBackup {
  public:
    ConfigBackup(std::string_view hostText, std::string_view cameraPath, std::string_view token,
                 std::time_t timeStamp, std::string_view modelName, std::string_view serialText,
                 bool deleteAfterRestore);
    virtual ~ConfigBackup() = default;
    ConfigBackup(const ConfigBackup&) = delete;
    ConfigBackup& operator=(const ConfigBackup&) = delete;

    // Fetches the configuration and writes localPath (under
    // UserConfigurationsFolder() instead when the Program Files one cannot
    // be made or written); false leaves no file there. Only a whole, non-empty configuration of at
    // most 8 MiB counts, never a web page; a reply without a length is whole when the camera closes
    // the connection in order, not when it is reset or goes silent. An existing file is never
    // replaced: the backup then gets a numbered name ("...-2.cfg"), and localPath says which.
    bool Download();
    // Reads exactly byteCount bytes of the saved file into `buffer`.
    bool ReadBack(std::vector<char>& buffer);
    // Takes an existing file (a backup kept from an earlier run) as this
    // backup's; false with errorText set when it cannot be read.
    bool Adopt(const std::string& path);
    void DeleteFileIfWanted();

    void SetTransferLimits(const http::TransferLimits& limits) { limits_ = limits; }

    bool restored = false;
    bool deleteAfterRestore = false;
    uint32_t byteCount = 0;
    std::string errorText;
    std::string hostText;
    std::string url;
    std::string localPath;
    std::string authHeader;

  private:
    // Configurations are small: the whole download is bounded.
    http::TransferLimits limits_{std::chrono::milliseconds(10000), std::chrono::milliseconds(30000),
                                 std::chrono::milliseconds(120000)};
};

}  // namespace vcq
