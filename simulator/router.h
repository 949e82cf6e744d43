// Maps "METHOD path" to the handler that answers it. A camera's web server
// owns one; new CGI programs are added with Add().
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "camera_config.h"
#include "camera_state.h"
#include "http_message.h"

namespace vcq::sim {

// `config` is one snapshot taken for the whole request; `camera` is there for
// handlers that change the camera (switching services, rebooting).
using Handler = std::function<HttpReply(const HttpRequest& request, const CameraConfig& config,
                                        CameraState& camera)>;

HttpReply NotFound();

class Router {
  public:
    void Add(std::string_view method, std::string_view path, Handler handler);
    // For paths that name a file below a folder; exact paths win, then the
    // longest matching prefix.
    void AddPrefix(std::string_view method, std::string_view prefix, Handler handler);
    // 404 for an unknown method and path.
    HttpReply Dispatch(const HttpRequest& request, const CameraConfig& config,
                       CameraState& camera) const;

  private:
    std::map<std::string, Handler, std::less<>> handlers_;
    std::map<std::string, Handler, std::greater<>> prefixes_;
};

}  // namespace vcq::sim
