#include "targets/camera_row.h"

#include "protocol/cgi_client.h"

namespace vcq {

std::string AddressText(const Ipv4& ip, int32_t port) {
    return CameraHostText(ip, port);
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
