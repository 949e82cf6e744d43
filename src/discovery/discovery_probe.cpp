#include "discovery/discovery_probe.h"

#include <algorithm>
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

bool DiscoveryProbe::OpenChannel(Channel& channel) {
    if (!channel.socket.Open()) {
        Fail("Error : Create Socket\n", kExitCreateSocket);
        return false;
    }
    // A refused broadcast shows up as a failed send; only the buffer is fatal.
    channel.socket.EnableBroadcast();
    if (!channel.socket.SetReceiveBufferSize(options_.receiveBufferBytes)) {
        channel.socket.Close();
        Fail("Error : Set Socket Option\n", kExitSetSocketOption);
        return false;
    }
    if (!channel.socket.Bind(channel.local)) {
        channel.socket.Close();
        Fail("Error : Bind\n", kExitBind);
        return false;
    }
    return true;
}

bool DiscoveryProbe::CloseChannels() {
    std::lock_guard lock(socketMutex_);
    bool closed = true;
    for (Channel& channel : channels_)
        if (channel.socket.valid() && !channel.socket.Close())
            closed = false;
    return closed;
}

void DiscoveryProbe::Start(DiscoveryTable& table) {
    if (thread_.joinable())
        return;
    if (!net::StartSockets())
        return;
    std::lock_guard lock(socketMutex_);
    channels_.clear();
    const net::Endpoint& to = options_.destination;
    if (options_.everyInterface && to.address == net::kBroadcastAddress) {
        std::vector<net::NetworkInterface> searched;
        for (const net::NetworkInterface& nic : net::ListIpv4Interfaces()) {
            // A second address on the same segment reaches the same cameras.
            if (std::any_of(searched.begin(), searched.end(), [&](const auto& other) {
                    return other.name == nic.name && other.prefixLength == nic.prefixLength &&
                           ((other.address ^ nic.address) & nic.Netmask()) == 0;
                }))
                continue;
            searched.push_back(nic);
            Channel channel;
            channel.local = {nic.address, options_.local.port};
            channel.network = nic.Describe();
            if (auto directed = nic.DirectedBroadcast())
                channel.destinations.push_back({*directed, to.port});
            channel.destinations.push_back(to);
            channels_.push_back(std::move(channel));
        }
    }
    if (channels_.empty()) {
        // Loopback alone, or a chosen destination: one socket as asked.
        channels_.push_back({{}, options_.local, {to}, net::FormatIpv4(to.address)});
    }
    for (size_t i = 0; i < channels_.size(); ++i) {
        if (!OpenChannel(channels_[i])) {
            for (size_t j = 0; j < i; ++j)
                channels_[j].socket.Close();
            return;
        }
    }
    std::vector<std::string> networks;
    for (const Channel& channel : channels_)
        networks.push_back(channel.network);
    table.SetSearchedNetworks(std::move(networks));
    table_ = &table;
    sendFailed_.store(false);
    table.MarkStarted();
    thread_ = std::thread([this] { ReceiveLoop(); });
}

int DiscoveryProbe::Send(const void* bytes, size_t length) {
    std::lock_guard lock(socketMutex_);
    const std::string_view data(static_cast<const char*>(bytes), length);
    // One interface that cannot send (a cable pulled, a tunnel without
    // broadcast) must not end the search on the others.
    bool sent = false;
    for (Channel& channel : channels_)
        for (const net::Endpoint& destination : channel.destinations)
            if (channel.socket.valid() && channel.socket.SendTo(destination, data))
                sent = true;
    if (sent)
        return 0;
    options_.print("Error : sendto\n");
    // The sockets belong to the receive thread; it closes them and ends the
    // process as after a failed receive.
    sendFailed_.store(true, std::memory_order_release);
    return -1;
}

void DiscoveryProbe::ReceiveLoop() {
    // One byte more than the largest reply, so the text is always terminated.
    std::array<char, kMaxReplyBytes + 1> buffer{};
    bool failed = false;
    // Each socket gets its share of the wait, so stopping stays as quick.
    const auto share = std::max(std::chrono::milliseconds(1),
                                options_.receiveTimeout / static_cast<int>(channels_.size()));
    for (size_t next = 0; !table_->StopPending(); next = (next + 1) % channels_.size()) {
        if (sendFailed_.load(std::memory_order_acquire)) {
            failed = true;
            break;
        }
        std::memset(buffer.data(), 0, kMaxReplyBytes);
        net::Endpoint from;
        net::IoResult got =
            channels_[next].socket.ReceiveFrom(buffer.data(), kMaxReplyBytes, from, share);
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
        CloseChannels();
        if (options_.window) {
            options_.window->MessageBox("Network NG", "Information", MessageIcon::Stop,
                                        MessageButtons::Ok);
        }
        options_.exit(kExitReceive);
    } else if (!CloseChannels()) {
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
    if (channels_.empty() || !channels_.front().socket.valid())
        return std::nullopt;
    return channels_.front().socket.LocalEndpoint();
}

}  // namespace vcq
