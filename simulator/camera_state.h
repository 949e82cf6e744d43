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

class CameraState {
  public:
    explicit CameraState(CameraConfig config) : config_(std::move(config)) {}

    CameraConfig Config() const;
    void Update(const std::function<void(CameraConfig&)>& change);

    // Remembers the exact bytes and counts the request under its topic.
    void RecordRequest(const HttpRequest& request);
    std::string LastRequest() const;
    std::vector<std::string> Requests() const;  // oldest first, the last kMaxKept
    int Count(std::string_view topic) const;
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

    static constexpr size_t kMaxKept = 64;

  private:
    // Finishes a reboot whose downtime has passed.
    void SettleLocked() const;

    mutable std::mutex mutex_;
    mutable CameraConfig config_;
    mutable std::chrono::steady_clock::time_point upAgain_{};
    mutable std::function<void(CameraConfig&)> afterReboot_;
    std::deque<std::string> requests_;
    std::map<std::string, int, std::less<>> counts_;
};

}  // namespace vcq::sim
