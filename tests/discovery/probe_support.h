// Helpers shared by the discovery tests that use sockets.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "camera_config.h"

namespace vcq::test {

inline const std::vector<std::string> kSupportedModels = {"VCQ-R20", "VCQ-R20N", "VCQ-R20P"};

// Camera i at 127.0.<1 + i / 250>.<2 + i % 250>, with its own mac and serial.
inline sim::CameraConfig TestCamera(int i) {
    sim::CameraConfig c;
    c.address = "127.0." + std::to_string(1 + i / 250) + "." + std::to_string(2 + i % 250);
    char mac[18];
    std::snprintf(mac, sizeof mac, "08:00:46:00:%02X:%02X", (i >> 8) & 0xFF, i & 0xFF);
    c.mac = mac;
    c.serial = std::to_string(10000000 + i);
    c.model = kSupportedModels[static_cast<size_t>(i) % kSupportedModels.size()];
    c.httpPort = static_cast<uint16_t>(8000 + i);
    c.dhcp = i % 2 == 1;
    return c;
}

inline std::vector<sim::CameraConfig> TestCameras(int n) {
    std::vector<sim::CameraConfig> cameras;
    for (int i = 0; i < n; ++i)
        cameras.push_back(TestCamera(i));
    return cameras;
}

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace vcq::test
