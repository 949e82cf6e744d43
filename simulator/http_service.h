// The camera's web server: accepts on the camera's address and HTTP port,
// one thread per connection, one request per connection.
#pragma once

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "camera_state.h"
#include "http_message.h"
#include "platform/socket.h"
#include "router.h"
#include "service.h"
#include "tcp_server.h"

namespace vcq::sim {

struct HttpServiceOptions {
    // A client that has not sent a whole request by then is dropped.
    std::chrono::milliseconds requestTimeout{10000};
    // Pause between head and body under HttpFault::SplitHeadersAndBody.
    std::chrono::milliseconds splitPause{200};
    int maxConnections = 64;
    ParseLimits limits;
};

class HttpService : public Service {
  public:
    HttpService(CameraState& camera, Router router, HttpServiceOptions options = {});
    ~HttpService() override;

    std::string Name() const override { return "http"; }
    bool Start(std::string& error) override;
    void BeginStop() override { server_.BeginStop(); }
    void Stop() override;

    // The bound address and port (the real port when port 0 was asked for).
    net::Endpoint endpoint() const { return server_.endpoint(); }

  private:
    void Serve(net::TcpSocket connection);
    void Reply(net::TcpSocket& connection, const HttpReply& reply, const CameraConfig& config);
    void WaitForPeerClose(net::TcpSocket& connection, std::chrono::milliseconds limit);
    // False when the service is stopping.
    bool Pause(std::chrono::milliseconds duration);

    CameraState& camera_;
    Router router_;
    HttpServiceOptions options_;
    TcpServer server_;
    const std::atomic<bool>& stopping_;
};

}  // namespace vcq::sim
