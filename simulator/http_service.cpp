#include "http_service.h"

#include <algorithm>

namespace vcq::sim {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Every wait is cut into slices this long so that Stop() is noticed quickly.
constexpr milliseconds kSlice{50};
constexpr milliseconds kSendTimeout{1000};
// Lets the bytes before a reset reach the client, as they would on a network.
constexpr milliseconds kResetPause{100};

std::string ServerName(const CameraConfig& config) {
    if (config.serverText)
        return *config.serverText;
    std::string name = config.productName + "/" + config.softVersion;
    if (config.serverTrailingBlank)
        name += ' ';
    return name;
}

}  // namespace

HttpService::HttpService(CameraState& camera, Router router, HttpServiceOptions options)
    : camera_(camera),
      router_(std::move(router)),
      options_(options),
      server_(64, options.maxConnections,
              {[this] { return camera_.HttpReachable(); },
               // Gone down since the last look (a reboot has just begun): drop it.
               [this](net::TcpSocket&) { return camera_.HttpReachable(); },
               {},
               [this](net::TcpSocket connection) { Serve(std::move(connection)); }}),
      stopping_(server_.stopping()) {}

HttpService::~HttpService() {
    Stop();
}

bool HttpService::Start(std::string& error) {
    CameraConfig config = camera_.Config();
    auto address = net::ParseIpv4(config.address);
    if (!address) {
        error = "not a dotted IPv4 address: " + config.address;
        return false;
    }
    // The port is taken even when connections are to be refused, so that an
    // ephemeral port is known before the refusal ends.
    return server_.Start({*address, config.httpPort}, error);
}

void HttpService::Stop() {
    server_.Stop();
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
    if (config.blipPending > 0) {
        camera_.Update([](CameraConfig& c) { c.blipPending = std::max(0, c.blipPending - 1); });
        connection.Abort();
        return;
    }
    if (config.httpFault == HttpFault::AcceptNeverAnswer) {
        WaitForPeerClose(connection, std::chrono::hours(24));  // until the client gives up
        return;
    }
    if (config.replyDelay.count() > 0 && !Pause(config.replyDelay))
        return;
    const std::string topic = CameraState::TopicOf(request);
    if (topic == "inq=sysinfo" && config.pollStallPending) {
        camera_.Update([](CameraConfig& c) { c.pollStallPending = false; });
        if (!Pause(config.pollStall))
            return;
        if (!camera_.HttpReachable())
            return;                 // gone down meanwhile: the connection just closes
        config = camera_.Config();  // the camera as it is by now
    }
    if (topic == "POST /command/all-configuration.cgi" && config.restoreDelay.count() > 0 &&
        !Pause(config.restoreDelay))
        return;
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
    if (reply.cut == HttpReply::Cut::BeforeStatus)
        return;
    if (reply.cut == HttpReply::Cut::Hold) {
        WaitForPeerClose(connection, std::chrono::hours(24));
        return;
    }
    if (reply.cut == HttpReply::Cut::MidHead) {
        connection.SendAll(std::string_view(head).substr(0, head.size() / 2), kSendTimeout);
        return;
    }
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
            connection.SendAll(SerializeBody(reply), kSendTimeout);
            break;
        default:
            if (reply.bodyEnd == HttpReply::BodyEnd::Reset ||
                reply.bodyEnd == HttpReply::BodyEnd::Stall) {
                // A body without a length that breaks off: only a reset, or
                // the client's own time-out, tells it is not whole.
                connection.SendAll(head + reply.body.substr(0, reply.cutAfter), kSendTimeout);
                if (reply.bodyEnd == HttpReply::BodyEnd::Stall) {
                    WaitForPeerClose(connection, std::chrono::hours(24));
                    return;
                }
                Pause(kResetPause);
                connection.Abort();
                return;
            }
            connection.SendAll(head + SerializeBody(reply), kSendTimeout);
            break;
    }
    // Closing with unread input would reset the connection and could destroy
    // the reply in flight: half-close and let the client close first.
    connection.ShutdownSend();
    WaitForPeerClose(connection, milliseconds{1000});
}

}  // namespace vcq::sim
