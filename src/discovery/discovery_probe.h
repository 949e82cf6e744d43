// The socket side of discovery: one UDP socket that sends the enquiry and a
// receive thread that turns camera replies into records of a DiscoveryTable.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>

#include "discovery/camera_record.h"
#include "platform/socket.h"
#include "platform/window_port.h"

namespace vcq {

inline constexpr uint16_t kDiscoveryPort = 2380;
inline constexpr size_t kMaxReplyBytes = 1072;

// The enquiry: STX, "ENQ:allinfo", 0xFF, ETX; no terminating NUL.
inline constexpr std::string_view kDiscoveryEnquiry{
    "\x02"
    "ENQ:allinfo\xFF\x03",
    14};

// Exit codes of the fatal socket failures.
enum DiscoveryExitCode {
    kExitCreateSocket = 1,
    kExitSetSocketOption = 2,
    kExitBind = 3,
    kExitReceive = 4,
    kExitCloseSocket = 5,
};

struct DiscoveryOptions {
    // Where the enquiry goes. Only the program itself uses the broadcast;
    // tests without a private network pass a loopback endpoint.
    net::Endpoint destination{net::kBroadcastAddress, kDiscoveryPort};
    net::Endpoint local{0, 0};
    // Only the stop latency depends on it.
    std::chrono::milliseconds receiveTimeout{5};
    // Room for a burst of replies from a full table of cameras (256 replies
    // of up to ~1 kB each, plus the kernel's per-datagram overhead).
    int receiveBufferBytes = 1 << 20;
    // Owner-less window for the "Network NG" box; null shows none.
    WindowPort* window = nullptr;
    // The failure line goes here; stdout when empty.
    std::function<void(std::string_view line)> print;
    // Ends the process with the code; tests replace it to observe the code.
    // When it returns, discovery simply stops.
    std::function<void(int code)> exit;
};

class DiscoveryProbe {
  public:
    explicit DiscoveryProbe(DiscoveryOptions options = {});
    DiscoveryProbe(const DiscoveryProbe&) = delete;
    DiscoveryProbe& operator=(const DiscoveryProbe&) = delete;
    // Stops the receive thread and waits for it.
    ~DiscoveryProbe();

    // Opens the socket and starts the receive thread that fills `table`.
    // Socket failures print their line and end the process. Without the
    // sockets layer, returns with discovery not started.
    void Start(DiscoveryTable& table);
    // One datagram to the destination: 0 on success, -1 on failure. A failed
    // send also ends the receive thread the way a failed receive does.
    int Send(const void* bytes, size_t length);
    int SendEnquiry() { return Send(kDiscoveryEnquiry.data(), kDiscoveryEnquiry.size()); }
    // Sets the table's stop flag and waits until the thread has ended.
    void StopAndWait();

    // The socket's own endpoint while it is open.
    std::optional<net::Endpoint> LocalEndpoint() const;

  private:
    void ReceiveLoop();
    void Fail(std::string_view line, int code);

    DiscoveryOptions options_;
    DiscoveryTable* table_ = nullptr;
    // Send (UI thread) and the thread's final close both touch the handle.
    mutable std::mutex socketMutex_;
    net::UdpSocket socket_;
    std::atomic<bool> sendFailed_{false};
    std::thread thread_;
};

}  // namespace vcq
