#include "router.h"

namespace vcq::sim {

void Router::Add(std::string_view method, std::string_view path, Handler handler) {
    std::string key(method);
    key += ' ';
    key += path;
    handlers_[key] = std::move(handler);
}

HttpReply Router::Dispatch(const HttpRequest& request, const CameraConfig& config,
                           CameraState& camera) const {
    auto it = handlers_.find(request.method + " " + request.Path());
    if (it == handlers_.end())
        return HttpReply{404, "text/html", "<HTML>404 Not Found</HTML>"};
    return it->second(request, config, camera);
}

}  // namespace vcq::sim
