#include "discovery_responder.h"

#include <algorithm>

namespace vcq::sim {
namespace {

constexpr std::string_view kEnquiry{
    "\x02"
    "ENQ:allinfo\xFF\x03",
    14};
constexpr auto kPollInterval = std::chrono::milliseconds(20);

std::string Field(const char* key, const std::string& value) {
    return key + value + '\xFF';
}

}  // namespace

std::vector<std::string> DiscoveryReplies(const CameraConfig& c) {
    const std::string onOff[] = {"OFF", "ON"};
    std::string model =
        c.discoveryFault == DiscoveryFault::UnknownModel ? kUnknownDiscoveryModel : c.model;
    std::string body;
    if (c.discoveryFault != DiscoveryFault::NoModel)
        body += Field("MODEL:", model);
    body += Field("SERIAL:", c.serial) + Field("MAC:", c.mac) + Field("DHCP:", onOff[c.dhcp]) +
            Field("DNSAUTO:", onOff[c.dnsAuto]);
    std::string ip = Field("IPADR:", c.address);
    std::string rest =
        Field("WEBPORT:", std::to_string(c.httpPort)) + Field("SOFTVERSION:", c.softVersion);

    switch (c.discoveryFault) {
        case DiscoveryFault::Silent:
            return {};
        case DiscoveryFault::AnswerTwice: {
            std::string reply = "\x02" + body + ip + rest + "\x03";
            return {reply, reply};
        }
        case DiscoveryFault::Truncated:
            // Cut inside the address: "IPADR:" and its first five characters.
            return {"\x02" + body + ip.substr(0, 6 + std::min<size_t>(5, c.address.size()))};
        case DiscoveryFault::Malformed:
            // Stray bytes between fields, "ON" with a tail, a port that is not a
            // number, and a last value with no 0xFF after it.
            return {"\xFF\xFE\x01junk" + Field("MODEL:", model) + "\x7F\x80" +
                    Field("MAC:", c.mac) + Field("SERIAL:", c.serial) + "DHCP:ON \xFF" +
                    "WEBPORT:http\xFF" + ip + "SOFTVERSION:" + c.softVersion};
        default:
            return {"\x02" + body + ip + rest + "\x03"};
    }
}

DiscoveryResponder::DiscoveryResponder(std::vector<CameraConfig> cameras,
                                       DiscoveryResponderOptions options)
    : options_(options), cameras_(std::move(cameras)) {}

DiscoveryResponder::~DiscoveryResponder() {
    Stop();
}

bool DiscoveryResponder::Start() {
    if (thread_.joinable())
        return true;
    if (!listener_.Open() || !listener_.SetReuseAddress() || !listener_.Bind(options_.listen))
        return false;
    auto local = listener_.LocalEndpoint();
    if (!local)
        return false;
    port_ = local->port;
    senders_.clear();
    for (const CameraConfig& camera : cameras_) {
        auto address = net::ParseIpv4(camera.address);
        net::UdpSocket sender;
        if (!address || !sender.Open() || !sender.SetReuseAddress() ||
            !sender.Bind({*address, port_})) {
            senders_.clear();
            listener_.Close();
            return false;
        }
        senders_.push_back(std::move(sender));
    }
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void DiscoveryResponder::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    listener_.Close();
    senders_.clear();
    pending_.clear();
}

void DiscoveryResponder::SetCamera(size_t index, CameraConfig camera) {
    std::lock_guard lock(mutex_);
    // The reply socket stays bound to the address it started with.
    if (index < cameras_.size())
        cameras_[index] = std::move(camera);
}

void DiscoveryResponder::SetFault(size_t index, DiscoveryFault fault) {
    std::lock_guard lock(mutex_);
    if (index < cameras_.size())
        cameras_[index].discoveryFault = fault;
}

void DiscoveryResponder::SetReplyDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    options_.replyDelay = delay;
}

void DiscoveryResponder::Run() {
    char buffer[2048];
    while (!stop_) {
        auto wait = kPollInterval;
        if (!pending_.empty()) {
            auto until = std::chrono::duration_cast<std::chrono::milliseconds>(
                pending_.front().due - std::chrono::steady_clock::now());
            wait = std::clamp(until, std::chrono::milliseconds(0), kPollInterval);
        }
        net::Endpoint from;
        auto got = listener_.ReceiveFrom(buffer, sizeof buffer, from, wait);
        if (got.ok() && std::string_view(buffer, got.bytes) == kEnquiry) {
            ++enquiries_;
            Answer(from);
        }
        SendDue();
    }
}

void DiscoveryResponder::Answer(const net::Endpoint& from) {
    std::lock_guard lock(mutex_);
    auto due = std::chrono::steady_clock::now() + options_.replyDelay;
    for (size_t i = 0; i < cameras_.size(); ++i) {
        std::optional<CameraConfig> live;
        if (options_.liveCamera) {
            live = options_.liveCamera(i);
            if (!live)
                continue;
        }
        for (std::string& datagram : DiscoveryReplies(live ? *live : cameras_[i])) {
            // "NOTE:" is not a key anyone reads; it sits before the final ETX.
            if (datagram.size() + 7 <= options_.padRepliesTo && datagram.back() == '\x03') {
                datagram.insert(
                    datagram.size() - 1,
                    "NOTE:" + std::string(options_.padRepliesTo - datagram.size() - 6, '.') +
                        '\xFF');
            }
            pending_.push_back({due, i, from, std::move(datagram)});
        }
    }
}

void DiscoveryResponder::SendDue() {
    auto now = std::chrono::steady_clock::now();
    while (!pending_.empty() && pending_.front().due <= now) {
        Pending& p = pending_.front();
        if (senders_[p.camera].SendTo(p.to, p.datagram))
            ++replies_;
        pending_.pop_front();
    }
}

std::unique_ptr<DiscoveryResponder> StartDiscoveryResponder(std::vector<CameraConfig> cameras) {
    auto responder = std::make_unique<DiscoveryResponder>(std::move(cameras));
    if (!responder->Start())
        return nullptr;
    return responder;
}

}  // namespace vcq::sim
