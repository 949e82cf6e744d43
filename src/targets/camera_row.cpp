#include "targets/camera_row.h"

#include <cstdio>

namespace vcq {

std::string FormatAddressText(const Ipv4Bytes& ip, int32_t port) {
    char text[32];
    if (port == 80)
        std::snprintf(text, sizeof text, "%d.%d.%d.%d", ip[0], ip[1], ip[2], ip[3]);
    else
        std::snprintf(text, sizeof text, "%d.%d.%d.%d:%d", ip[0], ip[1], ip[2], ip[3], port);
    return text;
}

}  // namespace vcq
