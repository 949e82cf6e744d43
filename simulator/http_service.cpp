#include "http_service.h"

#include <algorithm>

namespace vcq::sim {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Every wait is cut into slices this long so that Stop() is noticed quickly.
constexpr milliseconds kSlice{50};
constexpr milliseconds kSendTimeout{1000};

std::string ServerName(const CameraConfig& config) {
    std::string name = config.productName + "/" + config.softVersion;
    if (config.serverTrailingBlank)
        name += ' ';
    return name;
}

}  // namespace

HttpService::HttpService(CameraState& camera, Router router, HttpServiceOptions options)
    : camera_(camera), router_(std::move(router)), options_(options) {}

HttpService::~HttpService() {
    Stop();
}

bool HttpService::OpenListener(std::string& error) {
    net::TcpSocket listener;
    // Reuse lets a camera listen again at once after a refusal period or a reboot.
    if (!listener.Open() || !listener.SetReuseAddress() || !listener.Bind(endpoint_) ||
        !listener.Listen(64)) {
        error = "cannot listen on " + net::FormatEndpoint(endpoint_) + ": error " +
                std::to_string(listener.LastError());
        return false;
    }
    // Only the first opening learns the port; reopening binds the same one.
    if (endpoint_.port == 0)
        endpoint_ = *listener.LocalEndpoint();
    listener_ = std::move(listener);
    return true;
}

bool HttpService::Start(std::string& error) {
    CameraConfig config = camera_.Config();
    auto address = net::ParseIpv4(config.address);
    if (!address) {
        error = "not a dotted IPv4 address: " + config.address;
        return false;
    }
    endpoint_ = {*address, config.httpPort};
    // The port is taken even when connections are to be refused, so that an
    // ephemeral port is known before the refusal ends.
    if (!OpenListener(error))
        return false;
    if (!camera_.HttpReachable())
        listener_.Close();
    stopping_ = false;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void HttpService::Stop() {
    stopping_ = true;
    if (acceptThread_.joinable())
        acceptThread_.join();
    ReapWorkers(true);
    listener_.Close();
}

void HttpService::ReapWorkers(bool all) {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (all || *it->done) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void HttpService::AcceptLoop() {
    while (!stopping_) {
        ReapWorkers(false);
        bool reachable = camera_.HttpReachable();
        if (!reachable && listener_.valid())
            listener_.Close();
        if (reachable && !listener_.valid()) {
            std::string ignored;
            if (!OpenListener(ignored)) {
                Pause(kSlice);  // the port may still be held; try again
                continue;
            }
        }
        if (!listener_.valid()) {
            Pause(kSlice);
            continue;
        }
        net::TcpSocket connection = listener_.Accept(kSlice);
        if (!connection.valid())
            continue;
        if (static_cast<int>(workers_.size()) >= options_.maxConnections)
            continue;  // closes it
        // Gone down since the last look (a reboot has just begun): drop it.
        if (!camera_.HttpReachable())
            continue;
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([this, done, c = std::move(connection)]() mutable {
            Serve(std::move(c));
            *done = true;
        });
        workers_.push_back({std::move(thread), done});
    }
}

bool HttpService::Pause(milliseconds duration) {
    auto until = Clock::now() + duration;
    while (!stopping_) {
        auto now = Clock::now();
        if (now >= until)
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, until - now));
    }
    return false;
}

void HttpService::WaitForPeerClose(net::TcpSocket& connection, milliseconds limit) {
    auto until = Clock::now() + limit;
    char buffer[1024];
    while (!stopping_ && Clock::now() < until) {
        auto got = connection.Receive(buffer, sizeof buffer, kSlice);
        if (got.status == net::IoStatus::Closed || got.status == net::IoStatus::Failed)
            return;
    }
}

void HttpService::Serve(net::TcpSocket connection) {
    RequestParser parser(options_.limits);
    auto deadline = Clock::now() + options_.requestTimeout;
    char buffer[4096];
    while (parser.state() == RequestParser::State::NeedMore) {
        if (stopping_ || Clock::now() >= deadline)
            return;
        auto got = connection.Receive(buffer, sizeof buffer, kSlice);
        if (got.status == net::IoStatus::TimedOut)
            continue;
        if (!got.ok())
            return;
        parser.Feed(std::string_view(buffer, got.bytes));
    }
    CameraConfig config = camera_.Config();
    if (parser.state() != RequestParser::State::Complete) {
        Reply(connection, HttpReply{400, "text/plain", parser.error()}, config);
        return;
    }
    const HttpRequest& request = parser.request();
    // A request that arrives as the camera goes down gets no answer.
    if (!camera_.HttpReachable())
        return;
    camera_.RecordRequest(request);
    if (config.httpFault == HttpFault::AcceptNeverAnswer) {
        WaitForPeerClose(connection, std::chrono::hours(24));  // until the client gives up
        return;
    }
    auto forced = config.forcedStatus.find(CameraState::TopicOf(request));
    if (forced != config.forcedStatus.end()) {
        int status = forced->second;
        std::string page = "<HTML>" + std::to_string(status) + "</HTML>";
        Reply(connection, HttpReply{status, "text/html", status == 204 ? "" : page}, config);
        return;
    }
    Reply(connection, router_.Dispatch(request, config, camera_), config);
}

void HttpService::Reply(net::TcpSocket& connection, const HttpReply& original,
                        const CameraConfig& config) {
    HttpReply reply = original;
    if (config.httpFault == HttpFault::HugeBody && !reply.body.empty() &&
        reply.body.size() < config.hugeBodyBytes) {
        // Filler goes first and holds neither "=", "&" nor ",", so every key
        // and value of the real body still reads the same.
        reply.body = std::string(config.hugeBodyBytes - reply.body.size(), '.') + "&" + reply.body;
    }
    std::string head = SerializeHead(reply, ServerName(config));
    switch (config.httpFault) {
        case HttpFault::CloseMidReply:
            // The client then holds a head that promises more than it gets.
            if (reply.body.empty())
                connection.SendAll(std::string_view(head).substr(0, head.size() / 2), kSendTimeout);
            else
                connection.SendAll(head + reply.body.substr(0, reply.body.size() / 2),
                                   kSendTimeout);
            return;
        case HttpFault::SplitHeadersAndBody:
            if (!connection.SendAll(head, kSendTimeout) || !Pause(options_.splitPause))
                return;
            connection.SendAll(reply.body, kSendTimeout);
            break;
        default:
            connection.SendAll(head + reply.body, kSendTimeout);
            break;
    }
    // Closing with unread input would reset the connection and could destroy
    // the reply in flight: half-close and let the client close first.
    connection.ShutdownSend();
    WaitForPeerClose(connection, milliseconds{1000});
}

}  // namespace vcq::sim
