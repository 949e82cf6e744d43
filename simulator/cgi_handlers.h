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
// The file part of a multipart/form-data upload; nullopt when there is none.
std::optional<std::string> UploadedFile(const HttpRequest& request);

// Registers every CGI program the camera offers.
void InstallCameraCgi(Router& router);

}  // namespace vcq::sim
