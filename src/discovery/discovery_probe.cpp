#include "discovery/discovery_probe.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "discovery/reply_parser.h"

namespace vcq {

DiscoveryProbe::DiscoveryProbe(DiscoveryOptions options) : options_(std::move(options)) {
    if (!options_.print) {
        options_.print = [](std::string_view line) {
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fflush(stdout);
        };
    }
    if (!options_.exit) {
        // _Exit, not exit: the UI thread may still be running and must not see
        // static objects destroyed under it.
        options_.exit = [](int code) {
            std::fflush(nullptr);
            std::_Exit(code);
        };
    }
}

DiscoveryProbe::~DiscoveryProbe() {
    StopAndWait();
}

void DiscoveryProbe::Fail(std::string_view line, int code) {
    options_.print(line);
    options_.exit(code);
}

void DiscoveryProbe::Start(DiscoveryTable& table) {
    if (thread_.joinable())
        return;
    if (!net::StartSockets())
        return;
    std::lock_guard lock(socketMutex_);
    if (!socket_.Open())
        return Fail("Error : Create Socket\n", kExitCreateSocket);
    // A refused broadcast shows up as a failed send; only the buffer is fatal.
    socket_.EnableBroadcast();
    if (!socket_.SetReceiveBufferSize(options_.receiveBufferBytes)) {
        socket_.Close();
        return Fail("Error : Set Socket Option\n", kExitSetSocketOption);
    }
    if (!socket_.Bind(options_.local)) {
        socket_.Close();
        return Fail("Error : Bind\n", kExitBind);
    }
    table_ = &table;
    sendFailed_.store(false);
    table.MarkStarted();
    thread_ = std::thread([this] { ReceiveLoop(); });
}

int DiscoveryProbe::Send(const void* bytes, size_t length) {
    std::lock_guard lock(socketMutex_);
    if (socket_.valid() &&
        socket_.SendTo(options_.destination,
                       std::string_view(static_cast<const char*>(bytes), length)))
        return 0;
    options_.print("Error : sendto\n");
    // The socket belongs to the receive thread; it closes it and ends the
    // process as after a failed receive.
    sendFailed_.store(true, std::memory_order_release);
    return -1;
}

void DiscoveryProbe::ReceiveLoop() {
    // One byte more than the largest reply, so the text is always terminated.
    std::array<char, kMaxReplyBytes + 1> buffer{};
    bool failed = false;
    while (!table_->StopPending()) {
        if (sendFailed_.load(std::memory_order_acquire)) {
            failed = true;
            break;
        }
        std::memset(buffer.data(), 0, kMaxReplyBytes);
        net::Endpoint from;
        net::IoResult got =
            socket_.ReceiveFrom(buffer.data(), kMaxReplyBytes, from, options_.receiveTimeout);
        if (got.status == net::IoStatus::TimedOut)
            continue;
        if (!got.ok()) {
            failed = true;
            break;
        }
        if (!table_->Accepting())
            continue;
        if (auto record = ParseReply(std::string_view(buffer.data(), got.bytes), table_->Models()))
            table_->Store(*record);
    }
    if (failed) {
        options_.print("Error : recvfrom\n");
        {
            std::lock_guard lock(socketMutex_);
            socket_.Close();
        }
        if (options_.window) {
            options_.window->MessageBox("Network NG", "Information", MessageIcon::Stop,
                                        MessageButtons::Ok);
        }
        options_.exit(kExitReceive);
    } else {
        bool closed;
        {
            std::lock_guard lock(socketMutex_);
            closed = socket_.Close();
        }
        if (!closed)
            Fail("Error : Close Socket\n", kExitCloseSocket);
    }
    table_->MarkEnded();
}

void DiscoveryProbe::StopAndWait() {
    if (!thread_.joinable())
        return;
    table_->RequestStop();
    thread_.join();
}

std::optional<net::Endpoint> DiscoveryProbe::LocalEndpoint() const {
    std::lock_guard lock(socketMutex_);
    if (!socket_.valid())
        return std::nullopt;
    return socket_.LocalEndpoint();
}

}  // namespace vcq
