#include "router.h"

namespace vcq::sim {

HttpReply NotFound() {
    return HttpReply{404, "text/html", "<HTML>404 Not Found</HTML>"};
}

void Router::Add(std::string_view method, std::string_view path, Handler handler) {
    std::string key(method);
    key += ' ';
    key += path;
    handlers_[key] = std::move(handler);
}

void Router::AddPrefix(std::string_view method, std::string_view prefix, Handler handler) {
    std::string key(method);
    key += ' ';
    key += prefix;
    prefixes_[key] = std::move(handler);
}

HttpReply Router::Dispatch(const HttpRequest& request, const CameraConfig& config,
                           CameraState& camera) const {
    std::string key = request.method + " " + request.Path();
    if (auto it = handlers_.find(key); it != handlers_.end())
        return it->second(request, config, camera);
    // In descending order a prefix comes before every shorter prefix of itself.
    for (const auto& [prefix, handler] : prefixes_)
        if (key.starts_with(prefix))
            return handler(request, config, camera);
    return NotFound();
}

}  // namespace vcq::sim
