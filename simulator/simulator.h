// Stand-in cameras for tests and demos: any number of cameras, each a real
// network peer on its own 127.x.y.z address, all in this process.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camera_config.h"
#include "camera_state.h"
#include "discovery_responder.h"
#include "ftp_service.h"
#include "http_service.h"
#include "platform/socket.h"
#include "router.h"
#include "service.h"

namespace vcq::sim {

// Builds an extra service for a camera (FTP server, discovery responder...).
using ServiceFactory = std::function<std::unique_ptr<Service>(CameraState& camera)>;

struct SimulatorOptions {
    HttpServiceOptions http;
    // Every camera runs an FTP server on its address and CameraConfig::ftpPort.
    bool ftp = false;
    FtpServiceOptions ftpOptions;
    // One discovery responder answers for all cameras, from their live state
    // (silent while a camera reboots). Its default endpoint is the real
    // 0.0.0.0:2380: only inside tests/isolated; elsewhere listen on
    // 127.0.0.1 port 0.
    bool discovery = false;
    DiscoveryResponderOptions discoveryOptions;
    // Run on every camera after its web server, in this order.
    std::vector<ServiceFactory> extraServices;
};

// One camera: its state, its web server and any further services.
class Camera {
  public:
    Camera(CameraConfig config, const SimulatorOptions& options);
    ~Camera();
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    bool Start(std::string& error);
    void BeginStop();
    void Stop();

    CameraState& state() { return state_; }
    const CameraState& state() const { return state_; }
    net::Endpoint httpEndpoint() const { return http_->endpoint(); }
    // Port 0 when the camera runs no FTP server.
    net::Endpoint ftpEndpoint() const { return ftp_ ? ftp_->endpoint() : net::Endpoint{}; }

  private:
    CameraState state_;
    HttpService* http_ = nullptr;  // owned by services_
    FtpService* ftp_ = nullptr;    // owned by services_, when there is one
    std::vector<std::unique_ptr<Service>> services_;
    size_t started_ = 0;
};

// Owns all cameras. Adding cameras is for one thread; the per-camera calls
// may come from any thread while the cameras serve.
class Simulator {
  public:
    explicit Simulator(SimulatorOptions options = {});
    ~Simulator();  // stops every camera and joins every thread
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Starts one camera; its index, or nullopt with `error` set. Only
    // addresses in 127.0.0.0/8 are accepted.
    std::optional<size_t> AddCamera(CameraConfig config, std::string* error = nullptr);
    // Starts them all, or none (those already started are stopped again).
    bool AddCameras(const std::vector<CameraConfig>& configs, std::string* error = nullptr);
    size_t size() const { return cameras_.size(); }
    Camera& camera(size_t index) { return *cameras_.at(index); }

    net::Endpoint HttpEndpoint(size_t index) const;
    net::Endpoint FtpEndpoint(size_t index) const;
    // The running discovery responder; null unless SimulatorOptions::discovery.
    DiscoveryResponder* discovery() { return discovery_.get(); }
    // The camera as our client addresses it: "a.b.c.d", plus ":port" unless 80.
    std::string HostText(size_t index) const;

    CameraConfig Config(size_t index) const;
    void Update(size_t index, const std::function<void(CameraConfig&)>& change);
    void SetHttpFault(size_t index, HttpFault fault);
    FtpRecord Ftp(size_t index) const;
    // The most files the cameras received at one time (their STORs overlapping).
    int MostStoringAtOnce() const;

    // The exact bytes of the last complete request the camera received.
    std::string LastRequest(size_t index) const;
    std::vector<std::string> Requests(size_t index) const;
    // Requests seen under a topic: "inq=sysinfo", or "POST /command/main.cgi".
    int RequestCount(size_t index, std::string_view topic) const;

    void Stop();

  private:
    // (Re)starts the responder for the cameras there are now.
    bool StartDiscovery(std::string& error);

    SimulatorOptions options_;
    std::vector<std::unique_ptr<Camera>> cameras_;
    std::unique_ptr<DiscoveryResponder> discovery_;
};

// The web server's CGI programs, as every camera gets them.
Router MakeCameraRouter();

}  // namespace vcq::sim
