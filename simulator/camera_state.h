// The live state of one stand-in camera, shared by all its services: its
// configuration (changeable while it runs) and what it has been asked.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "camera_config.h"
#include "http_message.h"

namespace vcq::sim {

// What the camera's FTP server holds and has seen. Paths are the camera's
// own: "C:\web\home\l4\x.htm", drive "C:", backslashes.
struct FtpRecord {
    std::map<std::string, std::string> files;  // path -> bytes
    std::vector<std::string> storedOrder;      // paths of the files, first upload first
    std::vector<std::string> folders;          // existing folders besides "C:\"
    std::vector<std::string> createdFolders;   // every MKD that created one, in order
    int connections = 0;                       // control connections accepted
    int stores = 0;                            // STOR commands, failed ones included
    int folderChanges = 0;                     // CWD commands that succeeded
    // The image the last versionup flashed, and its version; empty when none
    // was valid.
    std::string flashedImage;
    std::string flashedVersion;

    bool FolderExists(std::string_view path) const;
};

class CameraState {
  public:
    explicit CameraState(CameraConfig config);

    CameraConfig Config() const;
    void Update(const std::function<void(CameraConfig&)>& change);

    // Remembers the exact bytes and counts the request under its topic.
    void RecordRequest(const HttpRequest& request);
    std::string LastRequest() const;
    std::vector<std::string> Requests() const;  // oldest first, the last kMaxKept
    int Count(std::string_view topic) const;
    // Also forgets the FTP counters and folder history (not the files).
    void ClearHistory();

    // "inq=sysinfo" for inquiries, "POST /command/main.cgi" for the rest.
    static std::string TopicOf(const HttpRequest& request);

    // Whether the web server should be listening at this moment.
    bool HttpReachable() const;

    // The camera goes down for `downtime`; `afterwards` is applied to its
    // configuration as it comes back (a new firmware version, say).
    void Reboot(std::chrono::milliseconds downtime,
                std::function<void(CameraConfig&)> afterwards = {});
    bool Rebooting() const;

    // "System=versionup": reboots for the configured downtime, flashes the
    // first "*.img" uploaded under C:\system and resets the camera (see
    // CameraConfig::rebootDowntime).
    void VersionUp();
    // Whether the FTP server should be accepting at this moment.
    bool FtpReachable() const;

    FtpRecord Ftp() const;
    void UpdateFtp(const std::function<void(FtpRecord&)>& change);

    static constexpr size_t kMaxKept = 64;

  private:
    // Finishes a reboot whose downtime has passed.
    void SettleLocked() const;
    // Between going down and coming back.
    bool DownLocked() const;

    mutable std::mutex mutex_;
    mutable CameraConfig config_;
    mutable std::chrono::steady_clock::time_point downFrom_{};
    mutable std::chrono::steady_clock::time_point upAgain_{};
    mutable std::function<void(CameraConfig&)> afterReboot_;
    std::deque<std::string> requests_;
    std::map<std::string, int, std::less<>> counts_;
    FtpRecord ftp_;
};

}  // namespace vcq::sim
