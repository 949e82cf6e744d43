// The command line of vcq-camera-sim.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "camera_config.h"

namespace vcq::sim {

// As many as the wizard's camera list holds.
inline constexpr int kMaxCameras = 256;

struct CommandLine {
    std::vector<CameraConfig> cameras;
    bool help = false;
};

// False with `error` set on a bad argument.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error);

// Applies "KEY=VALUE,KEY=VALUE..." to a camera.
bool ApplyCameraSettings(std::string_view settings, CameraConfig& camera, std::string& error);

// The camera numbered `ordinal` (0, 1...) when nothing else is said: its own
// address, serial and MAC, so that a farm of defaults is still distinct.
CameraConfig DefaultCamera(int ordinal);

std::string_view UsageText();

}  // namespace vcq::sim
