// A stand-in camera as discovery would list it, for tests that fill the
// wizard's discovery table by hand.
#pragma once

#include <cstdio>
#include <optional>

#include "camera_config.h"
#include "discovery/camera_record.h"
#include "platform/socket.h"

namespace vcq::test {

inline CameraRecord RecordOf(const sim::CameraConfig& camera, bool dhcp = false) {
    CameraRecord record;
    std::snprintf(record.mac, sizeof record.mac, "%s", camera.mac.c_str());
    std::snprintf(record.model, sizeof record.model, "%s", camera.model.c_str());
    std::snprintf(record.serial, sizeof record.serial, "%s", camera.serial.c_str());
    std::snprintf(record.softVersion, sizeof record.softVersion, "%s", camera.softVersion.c_str());
    if (const std::optional<uint32_t> ip = net::ParseIpv4(camera.address)) {
        for (int i = 0; i < 4; ++i)
            record.ip[i] = static_cast<uint8_t>(*ip >> (24 - 8 * i));
    }
    record.webPort = camera.httpPort;
    record.dhcp = dhcp;
    return record;
}

}  // namespace vcq::test
