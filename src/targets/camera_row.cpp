#include "targets/camera_row.h"

#include <cstdio>

namespace vcq {

std::string AddressText(const Ipv4& ip, int32_t port) {
    char buffer[32];
    if (port == 80)
        std::snprintf(buffer, sizeof buffer, "%d.%d.%d.%d", ip[0], ip[1], ip[2], ip[3]);
    else
        std::snprintf(buffer, sizeof buffer, "%d.%d.%d.%d:%d", ip[0], ip[1], ip[2], ip[3], port);
    return buffer;
}

std::string DiscoveredAddressText(const CameraRecord& record) {
    if (record.dhcp)
        return kDhcpText;
    return AddressText({record.ip[0], record.ip[1], record.ip[2], record.ip[3]}, record.webPort);
}

std::string WebPageUrl(const Ipv4& ip, int32_t port) {
    return "http://" + AddressText(ip, port) + "/";
}

}  // namespace vcq
