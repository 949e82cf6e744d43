// The camera's FTP server, as far as our client uses it: login with the
// camera's FTP account, the camera's drive paths ("C:\web\home"), MKD, and
// binary STOR over active-mode data connections. Files land in the camera's
// in-memory FtpRecord. It accepts only while the FTP server is switched on
// and the camera is not rebooting.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "camera_state.h"
#include "platform/socket.h"
#include "service.h"
#include "tcp_server.h"

namespace vcq::sim {

// Package uploads under way on every camera that shares it: a batch must
// never run two at once.
struct StoreGauge {
    std::atomic<int> now{0};
    std::atomic<int> most{0};
};

struct FtpServiceOptions {
    // A control connection with no complete command for this long is closed.
    std::chrono::milliseconds idleTimeout{30000};
    // Connecting to the client's data port; short, so that a stop is never held up.
    std::chrono::milliseconds connectTimeout{1000};
    // Each wait for data on the data connection.
    std::chrono::milliseconds dataTimeout{10000};
    int maxConnections = 16;
    size_t maxFileBytes = 64u * 1024 * 1024;
    // Shared by the cameras of one simulator; none counts nothing.
    std::shared_ptr<StoreGauge> stores;
};

// The camera's path for `argument` seen from folder `current` (both as
// components below C:\): accepts "C:\a\b", "C:/a/b", "\a", "/a", "a\b",
// "." and "..". Nullopt for another drive or a name the camera cannot hold.
std::optional<std::vector<std::string>> ResolveFtpPath(const std::vector<std::string>& current,
                                                       std::string_view argument);
// "C:\" followed by the components joined with "\".
std::string FtpPathText(const std::vector<std::string>& components);
// The data endpoint of "h1,h2,h3,h4,p1,p2" (PORT) or "|1|a.b.c.d|port|" (EPRT).
std::optional<net::Endpoint> ParsePortArgument(std::string_view argument);
std::optional<net::Endpoint> ParseEprtArgument(std::string_view argument);

class FtpService : public Service {
  public:
    FtpService(CameraState& camera, FtpServiceOptions options = {});
    ~FtpService() override;

    std::string Name() const override { return "ftp"; }
    bool Start(std::string& error) override;
    void BeginStop() override { server_.BeginStop(); }
    void Stop() override;

    // The bound address and port (the real port when port 0 was asked for).
    net::Endpoint endpoint() const { return server_.endpoint(); }

  private:
    CameraState& camera_;
    FtpServiceOptions options_;
    TcpServer server_;
};

}  // namespace vcq::sim
