#include "scripted_server.h"

#include <cstdlib>

using namespace std::chrono_literals;

namespace vcq::test {

ScriptedServer::ScriptedServer() {
    if (!listener_.Open() || !listener_.SetReuseAddress() || !listener_.Bind({0x7F000001, 0}) ||
        !listener_.Listen(16))
        std::abort();
    port_ = listener_.LocalEndpoint()->port;
    thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    thread_.join();
}

void ScriptedServer::SetReplies(std::vector<ScriptedReply> replies) {
    std::lock_guard lock(mutex_);
    replies_ = std::move(replies);
    next_ = 0;
}

std::vector<std::string> ScriptedServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void ScriptedServer::Serve() {
    while (!stop_) {
        net::TcpSocket conn = listener_.Accept(20ms);
        if (!conn.valid())
            continue;
        // Read the request: headers, then the announced body.
        std::string request;
        char buf[4096];
        for (;;) {
            size_t end = request.find("\r\n\r\n");
            if (end != std::string::npos) {
                size_t length = 0;
                if (size_t at = request.find("Content-Length: "); at != std::string::npos)
                    length = std::strtoul(request.c_str() + at + 16, nullptr, 10);
                if (request.size() >= end + 4 + length)
                    break;
            }
            auto got = conn.Receive(buf, sizeof buf, 2s);
            if (!got.ok())
                break;
            request.append(buf, got.bytes);
        }
        ScriptedReply reply;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            if (!replies_.empty()) {
                reply = replies_[std::min(next_, replies_.size() - 1)];
                ++next_;
            }
        }
        for (const Segment& segment : reply.segments) {
            std::this_thread::sleep_for(segment.pauseBefore);
            if (!segment.bytes.empty())
                conn.SendAll(segment.bytes, 2s);
        }
        while (reply.hangAfter && !stop_)
            std::this_thread::sleep_for(10ms);
    }
}

std::string OkReply(const std::string& body, const std::string& server) {
    return "HTTP/1.1 200 OK\r\nServer: " + server +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace vcq::test
