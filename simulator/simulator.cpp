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
    if (options.ftp) {
        auto ftp = std::make_unique<FtpService>(state_, options.ftpOptions);
        ftp_ = ftp.get();
        services_.push_back(std::move(ftp));
    }
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
        if (services_[started_].get() == ftp_) {
            uint16_t port = ftp_->endpoint().port;
            state_.Update([port](CameraConfig& c) { c.ftpPort = port; });
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

Simulator::Simulator(SimulatorOptions options) : options_(std::move(options)) {
    if (!options_.ftpOptions.stores)
        options_.ftpOptions.stores = std::make_shared<StoreGauge>();
}

int Simulator::MostStoringAtOnce() const {
    return options_.ftpOptions.stores->most;
}

Simulator::~Simulator() {
    Stop();
}

std::optional<size_t> Simulator::AddCamera(CameraConfig config, std::string* error) {
    if (!AddCameras({std::move(config)}, error))
        return std::nullopt;
    return cameras_.size() - 1;
}

bool Simulator::AddCameras(const std::vector<CameraConfig>& configs, std::string* error) {
    size_t before = cameras_.size();
    std::string why;
    // The responder reads the cameras' state: it pauses while the list grows.
    if (discovery_)
        discovery_->Stop();
    for (const auto& config : configs) {
        auto address = net::ParseIpv4(config.address);
        if (!address || (*address >> 24) != 127) {
            why = "a stand-in camera must live on a 127.x.y.z address, not \"" + config.address +
                  "\"";
            break;
        }
        auto camera = std::make_unique<Camera>(config, options_);
        if (!camera->Start(why))
            break;
        cameras_.push_back(std::move(camera));
    }
    bool ok = why.empty() && cameras_.size() == before + configs.size();
    if (!ok) {
        while (cameras_.size() > before)
            cameras_.pop_back();
    }
    if (options_.discovery && !cameras_.empty()) {
        std::string failure;
        if (!StartDiscovery(failure) && ok) {
            why = failure;
            ok = false;
            while (cameras_.size() > before)
                cameras_.pop_back();
            if (!cameras_.empty())
                StartDiscovery(failure);
        }
    }
    if (!ok && error)
        *error = why;
    return ok;
}

bool Simulator::StartDiscovery(std::string& error) {
    discovery_.reset();
    std::vector<CameraConfig> configs;
    std::vector<CameraState*> states;
    for (auto& camera : cameras_) {
        configs.push_back(camera->state().Config());
        states.push_back(&camera->state());
    }
    DiscoveryResponderOptions options = options_.discoveryOptions;
    options.liveCamera = [states](size_t index) -> std::optional<CameraConfig> {
        if (index >= states.size() || states[index]->Rebooting())
            return std::nullopt;
        return states[index]->Config();
    };
    auto responder = std::make_unique<DiscoveryResponder>(std::move(configs), std::move(options));
    if (!responder->Start()) {
        error =
            "discovery: cannot listen on " + net::FormatEndpoint(options_.discoveryOptions.listen);
        return false;
    }
    // A restart keeps the port the first start was given.
    options_.discoveryOptions.listen.port = responder->Port();
    discovery_ = std::move(responder);
    return true;
}

net::Endpoint Simulator::HttpEndpoint(size_t index) const {
    return cameras_.at(index)->httpEndpoint();
}

net::Endpoint Simulator::FtpEndpoint(size_t index) const {
    return cameras_.at(index)->ftpEndpoint();
}

FtpRecord Simulator::Ftp(size_t index) const {
    return cameras_.at(index)->state().Ftp();
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
    discovery_.reset();
    // All cameras wind down together, so stopping many takes no longer than one.
    for (auto& camera : cameras_)
        camera->BeginStop();
    for (auto& camera : cameras_)
        camera->Stop();
    cameras_.clear();
}

}  // namespace vcq::sim
