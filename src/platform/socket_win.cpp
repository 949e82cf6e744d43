// Winsock 2.2 behind socket.h. Error codes are kept as their errno twins
// (PortableError), so a reset reads ECONNRESET on every system.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>
#include <mswsock.h>

#include <algorithm>
#include <cerrno>

#include "platform/socket.h"
#include "platform/socket_address.h"
#include "platform/text_win.h"

namespace vcq::net {
namespace {

SOCKET Native(NativeSocket handle) {
    return static_cast<SOCKET>(handle);
}

NativeSocket FromNative(SOCKET socket) {
    return socket == INVALID_SOCKET ? kNoSocket : static_cast<NativeSocket>(socket);
}

int LastSocketError() {
    return PortableError(WSAGetLastError());
}

INT PollTimeout(Millis timeout) {
    if (timeout.count() < 0)
        return -1;
    if (timeout.count() > 0x7fffffff)
        return 0x7fffffff;
    return static_cast<INT>(timeout.count());
}

}  // namespace

std::vector<NetworkInterface> ListIpv4Interfaces() {
    std::vector<NetworkInterface> found;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    std::vector<unsigned char> buffer(16384);
    ULONG size = static_cast<ULONG>(buffer.size());
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the two calls: a few tries.
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR)
        return found;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK)
            continue;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const SOCKADDR* address = unicast->Address.lpSockaddr;
            if (!address || address->sa_family != AF_INET)
                continue;
            NetworkInterface one;
            one.name = text::WideToUtf8(adapter->FriendlyName ? adapter->FriendlyName : L"");
            one.address = FromSockaddr(*reinterpret_cast<const sockaddr_in*>(address)).address;
            one.prefixLength = unicast->OnLinkPrefixLength;
            one.pointToPoint = adapter->IfType == IF_TYPE_PPP || adapter->IfType == IF_TYPE_TUNNEL;
            if (unicast->DadState == IpDadStateTentative)
                one.unusable = "the address is tentative (Windows is still checking it)";
            else if (unicast->DadState == IpDadStateDuplicate)
                one.unusable = "the address is a duplicate (another device on the network has it)";
            else if (unicast->DadState == IpDadStateInvalid)
                one.unusable = "the address is not valid";
            found.push_back(one);
        }
    }
    return found;
}

int PortableError(int nativeError) {
    struct Twin {
        int wsa;
        int posix;
    };
    static constexpr Twin kTwins[] = {
        {WSAEINTR, EINTR},
        {WSAEBADF, EBADF},
        {WSAEACCES, EACCES},
        {WSAEFAULT, EFAULT},
        {WSAEINVAL, EINVAL},
        {WSAEMFILE, EMFILE},
        {WSAEWOULDBLOCK, EWOULDBLOCK},
        {WSAEINPROGRESS, EINPROGRESS},
        {WSAEALREADY, EALREADY},
        {WSAENOTSOCK, ENOTSOCK},
        {WSAEMSGSIZE, EMSGSIZE},
        {WSAEADDRINUSE, EADDRINUSE},
        {WSAEADDRNOTAVAIL, EADDRNOTAVAIL},
        {WSAENETDOWN, ENETDOWN},
        {WSAENETUNREACH, ENETUNREACH},
        {WSAENETRESET, ENETRESET},
        {WSAECONNABORTED, ECONNABORTED},
        {WSAECONNRESET, ECONNRESET},
        {WSAENOBUFS, ENOBUFS},
        {WSAEISCONN, EISCONN},
        {WSAENOTCONN, ENOTCONN},
        {WSAESHUTDOWN, EPIPE},
        {WSAETIMEDOUT, ETIMEDOUT},
        {WSAECONNREFUSED, ECONNREFUSED},
        {WSAEHOSTUNREACH, EHOSTUNREACH},
    };
    for (const Twin& twin : kTwins)
        if (twin.wsa == nativeError)
            return twin.posix;
    return nativeError;
}

bool StartSockets() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

bool Socket::Close() {
    if (handle_ == kNoSocket)
        return true;
    int rc = ::closesocket(Native(handle_));
    handle_ = kNoSocket;
    if (rc != 0) {
        lastError_ = LastSocketError();
        return false;
    }
    return true;
}

bool Socket::Reset(NativeSocket handle) {
    Close();
    if (handle == kNoSocket) {
        lastError_ = LastSocketError();
        return false;
    }
    handle_ = handle;
    return true;
}

bool Socket::SetReuseAddress() {
    BOOL on = TRUE;
    if (::setsockopt(Native(handle_), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                     sizeof on) != 0) {
        lastError_ = LastSocketError();
        return false;
    }
    return true;
}

bool Socket::SetListenerAddressUse() {
    BOOL on = TRUE;
    if (::setsockopt(Native(handle_), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                     reinterpret_cast<const char*>(&on), sizeof on) != 0) {
        lastError_ = LastSocketError();
        return false;
    }
    return true;
}

bool Socket::SetReceiveBufferSize(int bytes) {
    if (::setsockopt(Native(handle_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                     sizeof bytes) != 0) {
        lastError_ = LastSocketError();
        return false;
    }
    return true;
}

int Socket::ReceiveBufferSize() const {
    int bytes = 0;
    int len = sizeof bytes;
    if (::getsockopt(Native(handle_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&bytes),
                     &len) != 0)
        return -1;
    return bytes;
}

bool Socket::Bind(const Endpoint& local) {
    sockaddr_in sa = ToSockaddr(local);
    if (::bind(Native(handle_), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        lastError_ = LastSocketError();
        return false;
    }
    return true;
}

std::optional<Endpoint> Socket::LocalEndpoint() const {
    sockaddr_in sa{};
    int len = sizeof sa;
    if (::getsockname(Native(handle_), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return std::nullopt;
    return FromSockaddr(sa);
}

IoStatus Socket::WaitOnce(bool forWrite, Millis timeout) {
    WSAPOLLFD pfd{};
    pfd.fd = Native(handle_);
    pfd.events = static_cast<SHORT>(forWrite ? POLLWRNORM : POLLRDNORM);
    int n = ::WSAPoll(&pfd, 1, PollTimeout(timeout));
    if (n > 0)
        return IoStatus::Ok;
    if (n == 0)
        return IoStatus::TimedOut;
    lastError_ = LastSocketError();
    return IoStatus::Failed;
}

bool TcpSocket::Open() {
    if (!StartSockets())
        return false;
    return Reset(FromNative(::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                         WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT)));
}

bool TcpSocket::Connect(const Endpoint& remote, Millis timeout) {
    if (!valid())
        return false;
    u_long nonBlocking = 1;
    ::ioctlsocket(Native(handle_), FIONBIO, &nonBlocking);
    sockaddr_in sa = ToSockaddr(remote);
    int rc = ::connect(Native(handle_), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    bool connected = rc == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        // A failed connect shows in the exception set; WSAPoll does not
        // report it before Windows 10 2004, so a refused camera would take
        // the whole time-out there.
        const bool unbounded = timeout.count() < 0;
        const auto end = std::chrono::steady_clock::now() + (unbounded ? Millis(0) : timeout);
        int n = 0;
        fd_set writable;
        fd_set failed;
        // In slices, so that a stop flag is seen while the camera is silent.
        for (;;) {
            if (StopAsked()) {
                n = -2;
                break;
            }
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(Native(handle_), &writable);
            FD_SET(Native(handle_), &failed);
            const auto left =
                std::chrono::duration_cast<Millis>(end - std::chrono::steady_clock::now());
            Millis slice = unbounded ? kStopSlice : std::clamp(left, Millis(0), kStopSlice);
            if (!stop_ && !unbounded)
                slice = std::max(left, Millis(0));
            timeval wait{};
            wait.tv_sec = static_cast<long>(slice.count() / 1000);
            wait.tv_usec = static_cast<long>(slice.count() % 1000 * 1000);
            n = ::select(0, nullptr, &writable, &failed, &wait);
            if (n != 0 || (!unbounded && std::chrono::steady_clock::now() >= end))
                break;
        }
        if (n > 0) {
            int err = 0;
            int len = sizeof err;
            ::getsockopt(Native(handle_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err),
                         &len);
            connected = err == 0 && !FD_ISSET(Native(handle_), &failed);
            if (!connected)
                lastError_ = PortableError(err != 0 ? err : WSAECONNREFUSED);
        } else if (n != -2) {
            lastError_ = n == 0 ? ETIMEDOUT : LastSocketError();
        }
    } else if (!connected) {
        lastError_ = LastSocketError();
    }
    u_long blocking = 0;
    ::ioctlsocket(Native(handle_), FIONBIO, &blocking);
    return connected;
}

bool TcpSocket::SendAll(std::string_view data, Millis timeout) {
    size_t sent = 0;
    while (sent < data.size()) {
        if (Wait(true, timeout) != IoStatus::Ok)
            return false;
        size_t chunk = std::min<size_t>(data.size() - sent, 1 << 20);
        int n = ::send(Native(handle_), data.data() + sent, static_cast<int>(chunk), 0);
        if (n == SOCKET_ERROR) {
            int err = WSAGetLastError();
            if (err == WSAEINTR || err == WSAEWOULDBLOCK)
                continue;
            lastError_ = PortableError(err);
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
    int want = static_cast<int>(std::min<size_t>(size, 0x7fffffff));
    for (;;) {
        int n = ::recv(Native(handle_), static_cast<char*>(buffer), want, 0);
        if (n > 0)
            return {IoStatus::Ok, static_cast<size_t>(n)};
        if (n == 0)
            return {IoStatus::Closed, 0};
        int err = WSAGetLastError();
        if (err == WSAEINTR)
            continue;
        lastError_ = PortableError(err);
        return {IoStatus::Failed, 0};
    }
}

void TcpSocket::ShutdownSend() {
    if (valid())
        ::shutdown(Native(handle_), SD_SEND);
}

void TcpSocket::Abort() {
    if (!valid())
        return;
    // No lingering: closing sends a reset, as a broken connection would.
    linger off{1, 0};
    ::setsockopt(Native(handle_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&off),
                 sizeof off);
    Close();
}

bool TcpSocket::SetNoDelay() {
    BOOL on = TRUE;
    if (::setsockopt(Native(handle_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                     sizeof on) != 0) {
        lastError_ = LastSocketError();
        return false;
    }
    return true;
}

bool TcpSocket::Listen(int backlog) {
    if (::listen(Native(handle_), backlog) != 0) {
        lastError_ = LastSocketError();
        return false;
    }
    return true;
}

TcpSocket TcpSocket::Accept(Millis timeout, Endpoint* peer) {
    if (Wait(false, timeout) != IoStatus::Ok)
        return TcpSocket();
    sockaddr_in sa{};
    int len = sizeof sa;
    SOCKET s = ::accept(Native(handle_), reinterpret_cast<sockaddr*>(&sa), &len);
    if (s == INVALID_SOCKET) {
        lastError_ = LastSocketError();
        return TcpSocket();
    }
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    if (peer)
        *peer = FromSockaddr(sa);
    return TcpSocket(FromNative(s));
}

bool UdpSocket::Open() {
    if (!StartSockets())
        return false;
    if (!Reset(FromNative(::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                                       WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT))))
        return false;
    // Without this an ICMP "port unreachable" for an earlier send fails the
    // next read with WSAECONNRESET; POSIX reports no such thing.
    BOOL report = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(Native(handle_), SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned,
               nullptr, nullptr);
    return true;
}

bool UdpSocket::EnableBroadcast() {
    BOOL on = TRUE;
    if (::setsockopt(Native(handle_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                     sizeof on) != 0) {
        lastError_ = LastSocketError();
        return false;
    }
    return true;
}

bool UdpSocket::SendTo(const Endpoint& remote, std::string_view data) {
    sockaddr_in sa = ToSockaddr(remote);
    int n = ::sendto(Native(handle_), data.data(), static_cast<int>(data.size()), 0,
                     reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (n == SOCKET_ERROR || static_cast<size_t>(n) != data.size()) {
        lastError_ = LastSocketError();
        return false;
    }
    return true;
}

IoResult UdpSocket::ReceiveFrom(void* buffer, size_t size, Endpoint& from, Millis timeout) {
    IoStatus waited = Wait(false, timeout);
    if (waited != IoStatus::Ok)
        return {waited, 0};
    sockaddr_in sa{};
    int want = static_cast<int>(std::min<size_t>(size, 0x7fffffff));
    for (;;) {
        int len = sizeof sa;
        int n = ::recvfrom(Native(handle_), static_cast<char*>(buffer), want, 0,
                           reinterpret_cast<sockaddr*>(&sa), &len);
        if (n >= 0) {
            from = FromSockaddr(sa);
            return {IoStatus::Ok, static_cast<size_t>(n)};
        }
        int err = WSAGetLastError();
        // A datagram larger than the buffer is cut, as on POSIX.
        if (err == WSAEMSGSIZE) {
            from = FromSockaddr(sa);
            return {IoStatus::Ok, static_cast<size_t>(want)};
        }
        if (err == WSAEINTR)
            continue;
        lastError_ = PortableError(err);
        return {IoStatus::Failed, 0};
    }
}

}  // namespace vcq::net
