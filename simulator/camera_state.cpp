#include "camera_state.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "cgi_handlers.h"
#include "firmware_image.h"

namespace vcq::sim {
namespace {

bool IsSystemImage(std::string_view path) {
    constexpr std::string_view kSystem = "C:\\system\\";
    if (path.size() < kSystem.size() + 4 || !path.starts_with(kSystem))
        return false;
    std::string extension(path.substr(path.size() - 4));
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".img";
}

}  // namespace

bool FtpRecord::FolderExists(std::string_view path) const {
    return path == "C:\\" || std::find(folders.begin(), folders.end(), path) != folders.end();
}

CameraState::CameraState(CameraConfig config) : config_(std::move(config)) {
    // Not there yet: down from the start, with nothing to apply on coming up.
    if (config_.appearAfter.count() > 0) {
        downFrom_ = std::chrono::steady_clock::now();
        upAgain_ = downFrom_ + config_.appearAfter;
    }
}

void CameraState::SettleLocked() const {
    if (afterReboot_ && std::chrono::steady_clock::now() >= upAgain_) {
        afterReboot_(config_);
        afterReboot_ = nullptr;
    }
}

bool CameraState::DownLocked() const {
    auto now = std::chrono::steady_clock::now();
    return now >= downFrom_ && now < upAgain_;
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
    downFrom_ = std::chrono::steady_clock::now();
    upAgain_ = downFrom_ + downtime;
    afterReboot_ = afterwards ? std::move(afterwards) : [](CameraConfig&) {};
}

void CameraState::VersionUp() {
    std::lock_guard lock(mutex_);
    SettleLocked();
    std::optional<std::string> version;
    auto image = std::find_if(ftp_.storedOrder.begin(), ftp_.storedOrder.end(), IsSystemImage);
    if (image != ftp_.storedOrder.end())
        version = FlashableVersion(ftp_.files[*image]);
    ftp_.flashedImage = version ? *image : "";
    ftp_.flashedVersion = version.value_or("");
    // The upload area does not survive the flash.
    ftp_.files.clear();
    ftp_.storedOrder.clear();
    ftp_.folders.clear();

    AfterReboot after = config_.afterReboot;
    std::string next =
        config_.versionAfterUpgrade.empty() ? version.value_or("") : config_.versionAfterUpgrade;
    // The old firmware may linger a moment before the restart begins.
    downFrom_ = std::chrono::steady_clock::now() + config_.versionUpLinger;
    const bool goneForGood = after == AfterReboot::NeverBack || !config_.resetAddress.empty();
    upAgain_ = goneForGood ? std::chrono::steady_clock::time_point::max()
                           : downFrom_ + config_.rebootDowntime;
    config_.pollStallPending = config_.pollStall.count() > 0;
    config_.blipPending = config_.blip;
    const bool keep = config_.keepConfigurationOnFlash;
    afterReboot_ = [after, next, keep](CameraConfig& c) {
        if (after == AfterReboot::Flashed && !next.empty())
            c.softVersion = next;
        // Accounts survive so that the client can still ask it; the settings
        // file is the factory one until a restore.
        if (!keep)
            c.configuration = FactoryConfigurationFile(c);
        c.ftpServerOn = false;
    };
}

bool CameraState::FtpReachable() const {
    std::lock_guard lock(mutex_);
    SettleLocked();
    return config_.ftpServerOn && !DownLocked();
}

FtpRecord CameraState::Ftp() const {
    std::lock_guard lock(mutex_);
    return ftp_;
}

void CameraState::UpdateFtp(const std::function<void(FtpRecord&)>& change) {
    std::lock_guard lock(mutex_);
    change(ftp_);
}

bool CameraState::Rebooting() const {
    std::lock_guard lock(mutex_);
    return DownLocked();
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
    ftp_.createdFolders.clear();
    ftp_.connections = 0;
    ftp_.stores = 0;
}

bool CameraState::HttpReachable() const {
    std::lock_guard lock(mutex_);
    SettleLocked();
    return config_.httpFault != HttpFault::RefuseConnections && !DownLocked();
}

}  // namespace vcq::sim
