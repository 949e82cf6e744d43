#include "simulator.h"

#include "cgi_handlers.h"

namespace vcq::sim {

Router MakeCameraRouter() {
    Router router;
    InstallCameraCgi(router);
    return router;
}

Camera::Camera(CameraConfig config, const SimulatorOptions& options) : state_(std::move(config)) {
    auto http = std::make_unique<HttpService>(state_, MakeCameraRouter(), options.http);
    http_ = http.get();
    services_.push_back(std::move(http));
    for (const auto& factory : options.extraServices)
        services_.push_back(factory(state_));
}

Camera::~Camera() {
    Stop();
}

bool Camera::Start(std::string& error) {
    for (; started_ < services_.size(); ++started_) {
        if (!services_[started_]->Start(error)) {
            error = services_[started_]->Name() + ": " + error;
            Stop();
            return false;
        }
        if (started_ == 0) {
            // Port 0 asked for an ephemeral port: the camera now reports the real one.
            uint16_t port = http_->endpoint().port;
            state_.Update([port](CameraConfig& c) { c.httpPort = port; });
        }
    }
    return true;
}

void Camera::BeginStop() {
    for (size_t i = 0; i < started_; ++i)
        services_[i]->BeginStop();
}

void Camera::Stop() {
    while (started_ > 0)
        services_[--started_]->Stop();
}

Simulator::Simulator(SimulatorOptions options) : options_(std::move(options)) {}

Simulator::~Simulator() {
    Stop();
}

std::optional<size_t> Simulator::AddCamera(CameraConfig config, std::string* error) {
    std::string why;
    auto address = net::ParseIpv4(config.address);
    if (!address || (*address >> 24) != 127) {
        why = "a stand-in camera must live on a 127.x.y.z address, not \"" + config.address + "\"";
    } else {
        auto camera = std::make_unique<Camera>(std::move(config), options_);
        if (camera->Start(why)) {
            cameras_.push_back(std::move(camera));
            return cameras_.size() - 1;
        }
    }
    if (error)
        *error = why;
    return std::nullopt;
}

bool Simulator::AddCameras(const std::vector<CameraConfig>& configs, std::string* error) {
    size_t before = cameras_.size();
    for (const auto& config : configs) {
        if (!AddCamera(config, error)) {
            while (cameras_.size() > before)
                cameras_.pop_back();
            return false;
        }
    }
    return true;
}

net::Endpoint Simulator::HttpEndpoint(size_t index) const {
    return cameras_.at(index)->httpEndpoint();
}

std::string Simulator::HostText(size_t index) const {
    net::Endpoint endpoint = HttpEndpoint(index);
    std::string text = net::FormatIpv4(endpoint.address);
    if (endpoint.port != 80)
        text += ":" + std::to_string(endpoint.port);
    return text;
}

CameraConfig Simulator::Config(size_t index) const {
    return cameras_.at(index)->state().Config();
}

void Simulator::Update(size_t index, const std::function<void(CameraConfig&)>& change) {
    cameras_.at(index)->state().Update(change);
}

void Simulator::SetHttpFault(size_t index, HttpFault fault) {
    Update(index, [fault](CameraConfig& c) { c.httpFault = fault; });
}

std::string Simulator::LastRequest(size_t index) const {
    return cameras_.at(index)->state().LastRequest();
}

std::vector<std::string> Simulator::Requests(size_t index) const {
    return cameras_.at(index)->state().Requests();
}

int Simulator::RequestCount(size_t index, std::string_view topic) const {
    return cameras_.at(index)->state().Count(topic);
}

void Simulator::Stop() {
    // All cameras wind down together, so stopping many takes no longer than one.
    for (auto& camera : cameras_)
        camera->BeginStop();
    for (auto& camera : cameras_)
        camera->Stop();
    cameras_.clear();
}

}  // namespace vcq::sim
