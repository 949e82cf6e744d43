// The socket side of discovery: UDP sockets that send the enquiry and a
// receive thread that turns camera replies into records of a DiscoveryTable.
// The broadcast goes out on every IPv4 interface that is up, from a socket
// bound to that interface's address, to its segment's broadcast address and
// to the limited one: Windows sends a limited broadcast out of one interface
// only. Replies from every interface land in one table, merged by MAC.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

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

struct DiscoveryOptions {
    // Where the enquiry goes. Only the program itself uses the broadcast;
    // tests without a private network pass a loopback endpoint.
    net::Endpoint destination{net::kBroadcastAddress, kDiscoveryPort};
    net::Endpoint local{0, 0};
    // With the limited broadcast as destination: one socket per interface
    // (`local` then gives only the port). Off, or with no interface up but
    // loopback, one socket bound to `local` sends to `destination` alone.
    bool everyInterface = true;
    // Only the stop latency depends on it.
    std::chrono::milliseconds receiveTimeout{5};
    // Room for a burst of replies from a full table of cameras (256 replies
    // of up to ~1 kB each, plus the kernel's per-datagram overhead).
    int receiveBufferBytes = 1 << 20;
    // Owner-less window for the "Network NG" box, shown when every adapter
    // has failed during a search; null shows none.
    WindowPort* window = nullptr;
    // The adapters to search; empty: the system's, listed afresh at every
    // Start (a cable plugged in or an address changed since the last one).
    std::function<std::vector<net::NetworkInterface>()> interfaces;
};

class DiscoveryProbe {
  public:
    explicit DiscoveryProbe(DiscoveryOptions options = {});
    DiscoveryProbe(const DiscoveryProbe&) = delete;
    DiscoveryProbe& operator=(const DiscoveryProbe&) = delete;
    // Stops the receive thread and waits for it.
    ~DiscoveryProbe();

    // Opens the sockets and starts the receive thread that fills `table`,
    // telling it the networks searched ("eth0 192.168.0.10/24", or the
    // destination address alone) and those skipped with their reason. An
    // adapter whose socket fails is skipped; with none left, or without the
    // sockets layer, returns with discovery not started. A search that has
    // ended may be started again.
    void Start(DiscoveryTable& table);
    // One datagram to the destinations: 0 when one adapter sent it, -1 when
    // none could; the receive thread then ends as when every adapter failed.
    int Send(const void* bytes, size_t length);
    int SendEnquiry() { return Send(kDiscoveryEnquiry.data(), kDiscoveryEnquiry.size()); }
    // Sets the table's stop flag and waits until the thread has ended.
    void StopAndWait();

    // The first socket's own endpoint while it is open.
    std::optional<net::Endpoint> LocalEndpoint() const;

  private:
    struct Channel {
        net::UdpSocket socket;
        net::Endpoint local;
        std::vector<net::Endpoint> destinations;
        std::string network;
    };

    void ReceiveLoop();
    // Opens one channel's socket; the reason when it cannot.
    std::string OpenChannel(Channel& channel);
    void CloseChannel(Channel& channel);

    DiscoveryOptions options_;
    DiscoveryTable* table_ = nullptr;
    // Send (UI thread) and the thread's final close both touch the handles.
    mutable std::mutex socketMutex_;
    std::vector<Channel> channels_;
    std::atomic<bool> sendFailed_{false};
    std::thread thread_;
};

}  // namespace vcq
