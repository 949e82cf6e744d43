// A one-port TCP server on 127.0.0.1 (ephemeral port) that answers each
// connection with a scripted reply: segments with pauses, then a close or a
// hang. It records every request it read.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace vcq::test {

struct Segment {
    std::string bytes;
    std::chrono::milliseconds pauseBefore{0};
};

struct ScriptedReply {
    std::vector<Segment> segments;
    bool hangAfter = false;  // keep the connection open and silent until stopped
};

class ScriptedServer {
  public:
    ScriptedServer();
    ~ScriptedServer();

    // Replies to the following connections, in order; the last one repeats.
    void SetReplies(std::vector<ScriptedReply> replies);
    void SetReply(ScriptedReply reply) { SetReplies({std::move(reply)}); }
    void SetReply(const std::string& whole) { SetReply(ScriptedReply{{{whole}}}); }

    uint16_t port() const { return port_; }
    std::string hostText() const { return "127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> Requests() const;

  private:
    void Serve();

    net::TcpSocket listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<ScriptedReply> replies_;
    size_t next_ = 0;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// "HTTP/1.1 200 OK" with a Server header and a Content-Length body.
std::string OkReply(const std::string& body, const std::string& server = "VCQCAM/1.05");

}  // namespace vcq::test
