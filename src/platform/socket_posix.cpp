#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

#include "platform/socket.h"
#include "platform/socket_address.h"

namespace vcq::net {
namespace {

int PollTimeout(Millis timeout) {
    if (timeout.count() < 0)
        return -1;
    if (timeout.count() > 0x7fffffff)
        return 0x7fffffff;
    return static_cast<int>(timeout.count());
}

}  // namespace

bool StartSockets() {
    // A camera closing mid-send must not kill the process.
    static const bool started = [] {
        std::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    return started;
}

int PortableError(int nativeError) {
    return nativeError;
}

std::vector<NetworkInterface> ListIpv4Interfaces() {
    std::vector<NetworkInterface> found;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return found;
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET ||
            !(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK))
            continue;
        NetworkInterface one;
        one.name = entry->ifa_name;
        one.address = FromSockaddr(*reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)).address;
        const uint32_t mask =
            entry->ifa_netmask
                ? FromSockaddr(*reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)).address
                : ~uint32_t{0};
        one.prefixLength = 0;
        for (uint32_t bit = 0x80000000u; bit && (mask & bit); bit >>= 1)
            ++one.prefixLength;
        one.pointToPoint = (entry->ifa_flags & IFF_POINTOPOINT) != 0;
        found.push_back(one);
    }
    freeifaddrs(list);
    return found;
}

bool Socket::Close() {
    if (handle_ < 0)
        return true;
    int rc = ::close(static_cast<int>(handle_));
    handle_ = kNoSocket;
    if (rc != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

bool Socket::Reset(NativeSocket handle) {
    Close();
    if (handle < 0) {
        lastError_ = errno;
        return false;
    }
    handle_ = handle;
    return true;
}

bool Socket::SetReuseAddress() {
    int on = 1;
    if (::setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

bool Socket::SetListenerAddressUse() {
    return SetReuseAddress();
}

bool Socket::SetReceiveBufferSize(int bytes) {
    if (::setsockopt(handle_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

int Socket::ReceiveBufferSize() const {
    int bytes = 0;
    socklen_t len = sizeof bytes;
    if (::getsockopt(handle_, SOL_SOCKET, SO_RCVBUF, &bytes, &len) != 0)
        return -1;
    return bytes;
}

bool Socket::Bind(const Endpoint& local) {
    sockaddr_in sa = ToSockaddr(local);
    if (::bind(handle_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

std::optional<Endpoint> Socket::LocalEndpoint() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return std::nullopt;
    return FromSockaddr(sa);
}

IoStatus Socket::WaitOnce(bool forWrite, Millis timeout) {
    pollfd pfd{static_cast<int>(handle_), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    for (;;) {
        int n = ::poll(&pfd, 1, PollTimeout(timeout));
        if (n > 0)
            return IoStatus::Ok;
        if (n == 0)
            return IoStatus::TimedOut;
        if (errno != EINTR) {
            lastError_ = errno;
            return IoStatus::Failed;
        }
    }
}

bool TcpSocket::Open() {
    StartSockets();
    return Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
}

bool TcpSocket::Connect(const Endpoint& remote, Millis timeout) {
    if (!valid())
        return false;
    int flags = ::fcntl(handle_, F_GETFL, 0);
    ::fcntl(handle_, F_SETFL, flags | O_NONBLOCK);
    sockaddr_in sa = ToSockaddr(remote);
    int rc = ::connect(handle_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    bool connected = rc == 0;
    if (!connected && errno == EINPROGRESS) {
        if (Wait(true, timeout) == IoStatus::Ok) {
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(handle_, SOL_SOCKET, SO_ERROR, &err, &len);
            connected = err == 0;
            if (!connected)
                lastError_ = err;
        } else {
            lastError_ = ETIMEDOUT;
        }
    } else if (!connected) {
        lastError_ = errno;
    }
    ::fcntl(handle_, F_SETFL, flags);
    return connected;
}

bool TcpSocket::SendAll(std::string_view data, Millis timeout) {
    size_t sent = 0;
    while (sent < data.size()) {
        if (Wait(true, timeout) != IoStatus::Ok)
            return false;
        ssize_t n = ::send(handle_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            lastError_ = errno;
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

IoResult TcpSocket::Receive(void* buffer, size_t size, Millis timeout) {
    IoStatus waited = Wait(false, timeout);
    if (waited != IoStatus::Ok)
        return {waited, 0};
    for (;;) {
        ssize_t n = ::recv(handle_, buffer, size, 0);
        if (n > 0)
            return {IoStatus::Ok, static_cast<size_t>(n)};
        if (n == 0)
            return {IoStatus::Closed, 0};
        if (errno == EINTR)
            continue;
        lastError_ = errno;
        return {IoStatus::Failed, 0};
    }
}

void TcpSocket::ShutdownSend() {
    if (valid())
        ::shutdown(handle_, SHUT_WR);
}

void TcpSocket::Abort() {
    if (!valid())
        return;
    linger off{1, 0};
    ::setsockopt(handle_, SOL_SOCKET, SO_LINGER, &off, sizeof off);
    Close();
}

bool TcpSocket::SetNoDelay() {
    int on = 1;
    if (::setsockopt(handle_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

bool TcpSocket::Listen(int backlog) {
    if (::listen(handle_, backlog) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

TcpSocket TcpSocket::Accept(Millis timeout, Endpoint* peer) {
    if (Wait(false, timeout) != IoStatus::Ok)
        return TcpSocket();
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    int fd = ::accept4(handle_, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
    if (fd < 0) {
        lastError_ = errno;
        return TcpSocket();
    }
    if (peer)
        *peer = FromSockaddr(sa);
    return TcpSocket(fd);
}

bool UdpSocket::Open() {
    StartSockets();
    return Reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
}

bool UdpSocket::EnableBroadcast() {
    int on = 1;
    if (::setsockopt(handle_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

bool UdpSocket::SendTo(const Endpoint& remote, std::string_view data) {
    sockaddr_in sa = ToSockaddr(remote);
    ssize_t n = ::sendto(handle_, data.data(), data.size(), MSG_NOSIGNAL,
                         reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (n < 0 || static_cast<size_t>(n) != data.size()) {
        lastError_ = errno;
        return false;
    }
    return true;
}

IoResult UdpSocket::ReceiveFrom(void* buffer, size_t size, Endpoint& from, Millis timeout) {
    IoStatus waited = Wait(false, timeout);
    if (waited != IoStatus::Ok)
        return {waited, 0};
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    for (;;) {
        ssize_t n = ::recvfrom(handle_, buffer, size, 0, reinterpret_cast<sockaddr*>(&sa), &len);
        if (n >= 0) {
            from = FromSockaddr(sa);
            return {IoStatus::Ok, static_cast<size_t>(n)};
        }
        if (errno == EINTR)
            continue;
        lastError_ = errno;
        return {IoStatus::Failed, 0};
    }
}

}  // namespace vcq::net
