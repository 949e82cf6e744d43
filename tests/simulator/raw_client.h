// A bare TCP client for checking the stand-in camera byte for byte, with no
// help from our product's own HTTP client.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base64.h"
#include "platform/socket.h"

namespace vcq::sim::test {

using namespace std::chrono_literals;

struct RawReply {
    bool connected = false;
    std::string bytes;
    int reads = 0;                            // reads that returned data
    std::chrono::milliseconds longestGap{0};  // between two reads with data
    bool closedByPeer = false;                // orderly close, not a time-out
};

// Sends the segments with a pause between them, then reads until the peer
// closes or `timeout` passes without data.
inline RawReply Exchange(const net::Endpoint& camera, const std::vector<std::string>& segments,
                         std::chrono::milliseconds pause = 0ms,
                         std::chrono::milliseconds timeout = 2000ms) {
    RawReply reply;
    net::TcpSocket socket;
    if (!socket.Open() || !socket.Connect(camera, 2s))
        return reply;
    reply.connected = true;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i > 0 && pause > 0ms)
            std::this_thread::sleep_for(pause);
        if (!socket.SendAll(segments[i], 2s))
            break;
    }
    char buffer[4096];
    auto last = std::chrono::steady_clock::now();
    for (;;) {
        auto got = socket.Receive(buffer, sizeof buffer, timeout);
        if (got.status == net::IoStatus::Closed)
            reply.closedByPeer = true;
        if (!got.ok())
            break;
        auto now = std::chrono::steady_clock::now();
        auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(now - last);
        if (reply.reads > 0 && gap > reply.longestGap)
            reply.longestGap = gap;
        last = now;
        ++reply.reads;
        reply.bytes.append(buffer, got.bytes);
    }
    return reply;
}

// The one request layout our client uses for every CGI program.
inline std::string CgiRequest(const std::string& path, const std::string& host,
                              const std::string& token, const std::string& body) {
    return "POST " + path + " HTTP/1.1\r\nHost: " + host +
           "\r\nCache-Control: no-cache\r\nAuthorization: Basic " + token +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

inline std::string Inquiry(const std::string& host, const std::string& topic,
                           const std::string& user = "admin",
                           const std::string& password = "admin") {
    return CgiRequest("/command/inquiry.cgi", host, BasicToken(user, password), "inq=" + topic);
}

inline std::string HeadOf(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n\r\n"));
}

inline std::string BodyOf(const std::string& reply) {
    size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

}  // namespace vcq::sim::test
