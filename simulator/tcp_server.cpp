#include "tcp_server.h"

namespace vcq::sim {

TcpServer::TcpServer(int backlog, int maxConnections, Hooks hooks)
    : backlog_(backlog), maxConnections_(maxConnections), hooks_(std::move(hooks)) {}

TcpServer::~TcpServer() {
    Stop();
}

bool TcpServer::OpenListener(std::string& error) {
    // The port is this camera's alone: on Windows plain reuse would let a
    // second simulator bind it too. A reopening after a refusal period or a
    // reboot may meet the old connections still closing, which an exclusive
    // bind refuses there, so it falls back to reuse.
    net::TcpSocket listener;
    bool bound = listener.Open() && listener.SetListenerAddressUse() && listener.Bind(endpoint_);
    if (!bound && endpoint_.port != 0 && reopening_) {
        listener = net::TcpSocket();
        bound = listener.Open() && listener.SetReuseAddress() && listener.Bind(endpoint_);
    }
    if (!bound || !listener.Listen(backlog_)) {
        error = "cannot listen on " + net::FormatEndpoint(endpoint_) + ": error " +
                std::to_string(listener.LastError());
        return false;
    }
    // Only the first opening learns the port; reopening binds the same one.
    if (endpoint_.port == 0)
        endpoint_ = *listener.LocalEndpoint();
    listener_ = std::move(listener);
    reopening_ = true;
    return true;
}

bool TcpServer::Start(net::Endpoint endpoint, std::string& error) {
    endpoint_ = endpoint;
    if (!OpenListener(error))
        return false;
    if (!hooks_.reachable())
        listener_.Close();
    stopping_ = false;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void TcpServer::Stop() {
    stopping_ = true;
    if (acceptThread_.joinable())
        acceptThread_.join();
    ReapWorkers(true);
    listener_.Close();
}

void TcpServer::ReapWorkers(bool all) {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (all || *it->done) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void TcpServer::AcceptLoop() {
    while (!stopping_) {
        ReapWorkers(false);
        bool reachable = hooks_.reachable();
        if (!reachable && listener_.valid())
            listener_.Close();
        std::string ignored;
        // Unreachable, or the port still held after a close: look again soon.
        if (!listener_.valid() && (!reachable || !OpenListener(ignored))) {
            std::this_thread::sleep_for(kSlice);
            continue;
        }
        net::TcpSocket connection = listener_.Accept(kSlice);
        if (!connection.valid())
            continue;
        // Replies go out as several small writes (FTP's 150 then 226): do not
        // let them wait for the client's delayed ACK.
        connection.SetNoDelay();
        if (hooks_.accepted && !hooks_.accepted(connection))
            continue;
        if (static_cast<int>(workers_.size()) >= maxConnections_) {
            if (hooks_.busy)
                hooks_.busy(connection);
            continue;  // closes it
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([this, done, c = std::move(connection)]() mutable {
            hooks_.serve(std::move(c));
            *done = true;
        });
        workers_.push_back({std::move(thread), done});
    }
}

}  // namespace vcq::sim
