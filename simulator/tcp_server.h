// The listening side every camera service shares: a listener held on the
// camera's address while the camera is reachable, an accept thread, and one
// thread per connection, all ending within a slice of a stop.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "platform/socket.h"

namespace vcq::sim {

class TcpServer {
  public:
    struct Hooks {
        std::function<bool()> reachable;                // listen only while true
        std::function<bool(net::TcpSocket&)> accepted;  // false drops the connection
        std::function<void(net::TcpSocket&)> busy;      // too many connections already
        std::function<void(net::TcpSocket)> serve;      // on the connection's own thread
    };

    static constexpr std::chrono::milliseconds kSlice{50};

    TcpServer(int backlog, int maxConnections, Hooks hooks);
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    // Binds at once (so an ephemeral port is known even while unreachable)
    // and starts accepting.
    bool Start(net::Endpoint endpoint, std::string& error);
    void BeginStop() { stopping_ = true; }
    void Stop();

    net::Endpoint endpoint() const { return endpoint_; }
    const std::atomic<bool>& stopping() const { return stopping_; }

  private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    bool OpenListener(std::string& error);
    void AcceptLoop();
    void ReapWorkers(bool all);

    int backlog_;
    int maxConnections_;
    Hooks hooks_;
    net::Endpoint endpoint_;
    net::TcpSocket listener_;  // the accept thread's once started
    bool reopening_ = false;   // the port was held once already
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;
    std::list<Worker> workers_;  // the accept thread's, then Stop's
};

}  // namespace vcq::sim
