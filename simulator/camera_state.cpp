#include "camera_state.h"

namespace vcq::sim {

void CameraState::SettleLocked() const {
    if (afterReboot_ && std::chrono::steady_clock::now() >= upAgain_) {
        afterReboot_(config_);
        afterReboot_ = nullptr;
    }
}

CameraConfig CameraState::Config() const {
    std::lock_guard lock(mutex_);
    SettleLocked();
    return config_;
}

void CameraState::Update(const std::function<void(CameraConfig&)>& change) {
    std::lock_guard lock(mutex_);
    SettleLocked();
    change(config_);
}

void CameraState::Reboot(std::chrono::milliseconds downtime,
                         std::function<void(CameraConfig&)> afterwards) {
    std::lock_guard lock(mutex_);
    SettleLocked();
    upAgain_ = std::chrono::steady_clock::now() + downtime;
    afterReboot_ = afterwards ? std::move(afterwards) : [](CameraConfig&) {};
}

bool CameraState::Rebooting() const {
    std::lock_guard lock(mutex_);
    return std::chrono::steady_clock::now() < upAgain_;
}

std::string CameraState::TopicOf(const HttpRequest& request) {
    if (request.Path() == "/command/inquiry.cgi" && request.body.starts_with("inq="))
        return request.body.substr(0, request.body.find('&'));
    return request.method + " " + request.Path();
}

void CameraState::RecordRequest(const HttpRequest& request) {
    std::string topic = TopicOf(request);
    std::lock_guard lock(mutex_);
    requests_.push_back(request.raw);
    if (requests_.size() > kMaxKept)
        requests_.pop_front();
    ++counts_[topic];
}

std::string CameraState::LastRequest() const {
    std::lock_guard lock(mutex_);
    return requests_.empty() ? std::string() : requests_.back();
}

std::vector<std::string> CameraState::Requests() const {
    std::lock_guard lock(mutex_);
    return {requests_.begin(), requests_.end()};
}

int CameraState::Count(std::string_view topic) const {
    std::lock_guard lock(mutex_);
    auto it = counts_.find(topic);
    return it == counts_.end() ? 0 : it->second;
}

void CameraState::ClearHistory() {
    std::lock_guard lock(mutex_);
    requests_.clear();
    counts_.clear();
}

bool CameraState::HttpReachable() const {
    std::lock_guard lock(mutex_);
    SettleLocked();
    return config_.httpFault != HttpFault::RefuseConnections &&
           std::chrono::steady_clock::now() >= upAgain_;
}

}  // namespace vcq::sim
