// Internal to the socket implementations: an Endpoint and the OS's IPv4
// address, alike for BSD sockets and Winsock. Include after the OS's socket
// headers.
#pragma once

#include "platform/socket.h"

namespace vcq::net {

inline sockaddr_in ToSockaddr(const Endpoint& endpoint) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(endpoint.address);
    sa.sin_port = htons(endpoint.port);
    return sa;
}

inline Endpoint FromSockaddr(const sockaddr_in& sa) {
    return Endpoint{ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
}

}  // namespace vcq::net
