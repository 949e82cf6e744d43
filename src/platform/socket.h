// Thin RAII sockets over the OS API: socket_posix.cpp, or socket_win.cpp over
// Winsock, behind the same header.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vcq::net {

using Millis = std::chrono::milliseconds;

// IPv4 address and port, both in host order.
struct Endpoint {
    uint32_t address = 0;
    uint16_t port = 0;
    bool operator==(const Endpoint&) const = default;
};

// Plain dotted-quad conversion: exactly four decimal parts of 0..255, no names.
std::optional<uint32_t> ParseIpv4(std::string_view dotted);
std::string FormatIpv4(uint32_t address);
std::string FormatEndpoint(const Endpoint& endpoint);  // "a.b.c.d:port"

inline constexpr uint32_t kBroadcastAddress = 0xFFFFFFFFu;

// One IPv4 address of a network interface that is up.
struct NetworkInterface {
    std::string name;  // "eth0"; on Windows the adapter's own name ("Wi-Fi")
    uint32_t address = 0;
    int prefixLength = 32;
    bool pointToPoint = false;  // a tunnel: no segment to broadcast to
    // Why the address must not be used, empty when it may: Windows holds an
    // address as tentative while it checks for a conflict, and as duplicate
    // after one (a static address already taken on the segment).
    std::string unusable;

    uint32_t Netmask() const {
        return prefixLength <= 0 ? 0 : ~uint32_t{0} << (32 - std::min(prefixLength, 32));
    }
    // The segment's own broadcast address; nothing for a tunnel or a /31 or
    // /32, which have no segment to broadcast to.
    std::optional<uint32_t> DirectedBroadcast() const {
        if (pointToPoint || prefixLength > 30)
            return std::nullopt;
        return address | ~Netmask();
    }
    // "name a.b.c.d/N", as the operator is told which networks were searched.
    std::string Describe() const;
};

// The IPv4 addresses of the interfaces that are up, loopback left out, in
// the system's order (getifaddrs, or GetAdaptersAddresses on Windows).
std::vector<NetworkInterface> ListIpv4Interfaces();

// Starts the OS socket layer once per process (Winsock 2.2; on POSIX only
// SIGPIPE is ignored). False when it cannot start: the programs then say
// "Windows sockets initialization failed." (string kStrSocketsFailed) and end.
bool StartSockets();

// The words for a socket's LastError(), the same on every system.
std::string SocketErrorText(int portableError);

// An OS error code as its POSIX errno twin (WSAECONNRESET as ECONNRESET, ...),
// so that LastError() means the same on every system.
int PortableError(int nativeError);

// Wide enough for a Win64 SOCKET as well as a POSIX descriptor.
using NativeSocket = std::intptr_t;
inline constexpr NativeSocket kNoSocket = -1;

enum class IoStatus { Ok, Closed, TimedOut, Failed };

struct IoResult {
    IoStatus status = IoStatus::Failed;
    size_t bytes = 0;
    bool ok() const { return status == IoStatus::Ok; }
};

class Socket {
  public:
    Socket() = default;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    ~Socket();

    bool valid() const { return handle_ != kNoSocket; }
    // False when the OS reports a failure; the handle is released either way.
    bool Close();
    bool SetReuseAddress();
    // For a listener: takes its port back at once after a restart, yet never
    // shares it with another listener. SO_REUSEADDR here; on Windows that
    // would let a second process bind the same port, so SO_EXCLUSIVEADDRUSE.
    bool SetListenerAddressUse();
    // Asks for a kernel receive buffer of `bytes`; the OS may cap it.
    bool SetReceiveBufferSize(int bytes);
    int ReceiveBufferSize() const;
    bool Bind(const Endpoint& local);
    std::optional<Endpoint> LocalEndpoint() const;
    int LastError() const { return lastError_; }
    // Once `*stop` is true, every wait of this socket (connect, send,
    // receive, accept) fails within kStopSlice, with ECANCELED; null: none.
    // The flag must outlive the socket's use.
    void SetStop(const std::atomic<bool>* stop) { stop_ = stop; }
    static constexpr Millis kStopSlice{100};

  protected:
    explicit Socket(NativeSocket handle) : handle_(handle) {}
    bool Reset(NativeSocket handle);
    // Waits until readable (or writable); false on time-out or error. In
    // slices, when a stop flag is set.
    IoStatus Wait(bool forWrite, Millis timeout);
    // One wait of the system's (poll, WSAPoll).
    IoStatus WaitOnce(bool forWrite, Millis timeout);
    bool StopAsked();

    NativeSocket handle_ = kNoSocket;
    int lastError_ = 0;
    const std::atomic<bool>* stop_ = nullptr;
};

class TcpSocket : public Socket {
  public:
    TcpSocket() = default;
    bool Open();
    // Bounded connect; the socket stays open on failure so the caller closes it.
    bool Connect(const Endpoint& remote, Millis timeout);
    // Sends everything or fails; each wait for buffer space is bounded.
    bool SendAll(std::string_view data, Millis timeout);
    // One read of at most `size` bytes; waits at most `timeout` for data.
    IoResult Receive(void* buffer, size_t size, Millis timeout);
    // Orderly shutdown of the sending side.
    void ShutdownSend();
    // Closes at once with a reset (RST) instead of an orderly close, dropping
    // whatever is still unsent: the peer sees the connection fail, not end.
    void Abort();
    // Sends small writes at once instead of holding them for an ACK.
    bool SetNoDelay();

    // Server side, for the stand-in camera.
    bool Listen(int backlog);
    // Waits at most `timeout` for a connection; invalid socket on time-out.
    TcpSocket Accept(Millis timeout, Endpoint* peer = nullptr);

  private:
    explicit TcpSocket(NativeSocket handle) : Socket(handle) {}
};

class UdpSocket : public Socket {
  public:
    bool Open();
    bool EnableBroadcast();
    bool SendTo(const Endpoint& remote, std::string_view data);
    IoResult ReceiveFrom(void* buffer, size_t size, Endpoint& from, Millis timeout);
};

}  // namespace vcq::net
