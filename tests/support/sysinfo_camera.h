// A stand-in camera as the add-other-cameras verification meets it: it must
// answer "inq=sysinfo" without a login, since the verification sends none.
#pragma once

#include <cstdint>

#include "simulator.h"

namespace vcq::test {

inline sim::CameraConfig SysinfoCamera(const char* address, const char* model, uint16_t port = 80) {
    sim::CameraConfig config;
    config.address = address;
    config.model = model;
    config.httpPort = port;
    config.publicSysinfo = true;
    return config;
}

}  // namespace vcq::test
