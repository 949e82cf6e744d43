// The stand-in camera's answer to the discovery enquiry. One responder serves
// one or more cameras: it hears the enquiry on UDP port 2380 and each camera
// replies from its own address, to the port the enquiry came from.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "camera_config.h"
#include "platform/socket.h"

namespace vcq::sim {

// The datagrams a camera sends for one enquiry: none, one, or two, shaped
// by its discoveryFault. A correct reply is STX, the fields
// "MODEL:", "SERIAL:", "MAC:", "DHCP:", "DNSAUTO:", "IPADR:", "WEBPORT:",
// "SOFTVERSION:" each followed by its value and 0xFF, then ETX.
std::vector<std::string> DiscoveryReplies(const CameraConfig& camera);

// The model an UnknownModel camera reports.
inline constexpr const char* kUnknownDiscoveryModel = "VCQ-X99";

struct DiscoveryResponderOptions {
    // Where the enquiry is heard. The real one is 0.0.0.0:2380 and is only
    // ever used inside the private test network; tests outside it listen on
    // 127.0.0.1 with port 0 (the cameras then reply from that port too).
    net::Endpoint listen{0, 2380};
    // How long to hold each reply before sending it.
    std::chrono::milliseconds replyDelay{0};
    // Pads good replies with a filler field up to this many bytes, like the
    // many further settings a real camera lists (1,072 bytes at most).
    size_t padRepliesTo = 0;
    // When set, asked for camera `index` at every enquiry instead of the
    // stored settings (SetCamera, SetFault); nullopt keeps it quiet. Its
    // address must stay the one the responder started with.
    std::function<std::optional<CameraConfig>(size_t index)> liveCamera;
};

class DiscoveryResponder {
  public:
    explicit DiscoveryResponder(std::vector<CameraConfig> cameras,
                                DiscoveryResponderOptions options = {});
    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;
    ~DiscoveryResponder();

    // Opens the sockets and starts answering; false (and nothing runs) when a
    // socket cannot be opened or bound.
    bool Start();
    // Returns within one poll interval; replies still held are dropped.
    void Stop();

    // Run-time changes, safe while it runs; they apply to the next enquiry.
    void SetCamera(size_t index, CameraConfig camera);
    void SetFault(size_t index, DiscoveryFault fault);
    void SetReplyDelay(std::chrono::milliseconds delay);

    uint16_t Port() const { return port_; }
    int EnquiriesHeard() const { return enquiries_.load(); }
    int RepliesSent() const { return replies_.load(); }

  private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        size_t camera;
        net::Endpoint to;
        std::string datagram;
    };

    void Run();
    void Answer(const net::Endpoint& from);
    void SendDue();

    DiscoveryResponderOptions options_;
    mutable std::mutex mutex_;  // cameras_ and the delay
    std::vector<CameraConfig> cameras_;
    net::UdpSocket listener_;
    std::vector<net::UdpSocket> senders_;  // one per camera, bound to its address
    std::deque<Pending> pending_;          // receive thread only
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> enquiries_{0};
    std::atomic<int> replies_{0};
    std::thread thread_;
};

// Starts a responder on the real discovery port (0.0.0.0:2380) for the
// stand-in camera's command line; null when it cannot start. Like every use
// of the real port, only inside tests/isolated.
std::unique_ptr<DiscoveryResponder> StartDiscoveryResponder(std::vector<CameraConfig> cameras);

}  // namespace vcq::sim
