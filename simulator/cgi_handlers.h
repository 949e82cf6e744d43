// The camera's CGI programs under /command/.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "camera_config.h"
#include "http_message.h"
#include "router.h"

namespace vcq::sim {

// True when the request carries the Basic token of any of the camera's users.
bool IsAuthorized(const HttpRequest& request, const CameraConfig& config);

// The body the camera answers to "inq=<topic>"; nullopt for an unknown topic.
std::optional<std::string> InquiryBody(std::string_view topic, const CameraConfig& config);

HttpReply Unauthorized();

// The configuration file the camera hands out.
std::string ConfigurationFile(const CameraConfig& config);
// "/home/l4/<model in lower case>.cfg".
std::string ConfigurationPath(const CameraConfig& config);
// The file served after a reboot has reset the camera.
std::string FactoryConfigurationFile(const CameraConfig& config);
// The file of a restore upload, which must be exactly the form our client
// sends (boundary of 27 hyphens, "7d" and decimal seconds, used bare as the
// boundary line; one part "Restore" named "temp.cfg"); nullopt otherwise.
std::optional<std::string> RestoreFormData(const HttpRequest& request);

// Registers every CGI program the camera offers.
void InstallCameraCgi(Router& router);

}  // namespace vcq::sim
