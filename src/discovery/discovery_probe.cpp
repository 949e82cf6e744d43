#include "discovery/discovery_probe.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "discovery/reply_parser.h"

namespace vcq {

DiscoveryProbe::DiscoveryProbe(DiscoveryOptions options) : options_(std::move(options)) {}

DiscoveryProbe::~DiscoveryProbe() {
    StopAndWait();
}

std::string DiscoveryProbe::OpenChannel(Channel& channel) {
    const auto failed = [&](const char* what) {
        const std::string reason = what + net::SocketErrorText(channel.socket.LastError());
        channel.socket.Close();
        return reason;
    };
    if (!channel.socket.Open())
        return failed("cannot open a socket: ");
    // A refused broadcast shows up as a failed send.
    channel.socket.EnableBroadcast();
    if (!channel.socket.SetReceiveBufferSize(options_.receiveBufferBytes))
        return failed("cannot set the receive buffer: ");
    if (!channel.socket.Bind(channel.local))
        return failed("cannot bind to its address: ");
    return {};
}

void DiscoveryProbe::CloseChannel(Channel& channel) {
    std::lock_guard lock(socketMutex_);
    channel.socket.Close();
}

void DiscoveryProbe::Start(DiscoveryTable& table) {
    if (thread_.joinable()) {
        if (table_->ThreadRunning())
            return;
        thread_.join();
    }
    table.SetSearchedNetworks({});
    table.ClearSkippedNetworks();
    if (!net::StartSockets())
        return;
    std::lock_guard lock(socketMutex_);
    channels_.clear();
    const net::Endpoint& to = options_.destination;
    bool anyAdapter = false;
    if (options_.everyInterface && to.address == net::kBroadcastAddress) {
        std::vector<net::NetworkInterface> searched;
        const auto adapters =
            options_.interfaces ? options_.interfaces() : net::ListIpv4Interfaces();
        anyAdapter = !adapters.empty();
        for (const net::NetworkInterface& nic : adapters) {
            if (!nic.unusable.empty()) {
                table.AddSkippedNetwork(nic.Describe() + ": " + nic.unusable);
                continue;
            }
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
    if (!anyAdapter) {
        // Loopback alone, or a chosen destination: one socket as asked.
        channels_.push_back({{}, options_.local, {to}, net::FormatIpv4(to.address)});
    }
    // One adapter that cannot be used (an address Windows holds after a
    // conflict, a driver that refuses) must not end the search on the others.
    std::vector<std::string> networks;
    for (auto channel = channels_.begin(); channel != channels_.end();) {
        const std::string reason = OpenChannel(*channel);
        if (reason.empty()) {
            networks.push_back(channel->network);
            ++channel;
        } else {
            table.AddSkippedNetwork(channel->network + ": " + reason);
            channel = channels_.erase(channel);
        }
    }
    if (channels_.empty())
        return;
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
    int error = 0;
    for (Channel& channel : channels_)
        for (const net::Endpoint& destination : channel.destinations) {
            if (!channel.socket.valid())
                continue;
            if (channel.socket.SendTo(destination, data))
                sent = true;
            else
                error = channel.socket.LastError();
        }
    if (sent)
        return 0;
    if (table_)
        table_->AddSkippedNetwork("the enquiry could not be sent: " + net::SocketErrorText(error));
    // The sockets belong to the receive thread; it closes them and ends.
    sendFailed_.store(true, std::memory_order_release);
    return -1;
}

void DiscoveryProbe::ReceiveLoop() {
    // One byte more than the largest reply, so the text is always terminated.
    std::array<char, kMaxReplyBytes + 1> buffer{};
    size_t open = channels_.size();
    // Each socket gets its share of the wait, so stopping stays as quick.
    const auto share = std::max(std::chrono::milliseconds(1),
                                options_.receiveTimeout / static_cast<int>(channels_.size()));
    for (size_t next = 0; open > 0 && !table_->StopPending();
         next = (next + 1) % channels_.size()) {
        if (sendFailed_.load(std::memory_order_acquire))
            break;
        Channel& channel = channels_[next];
        if (!channel.socket.valid())
            continue;
        std::memset(buffer.data(), 0, kMaxReplyBytes);
        net::Endpoint from;
        net::IoResult got = channel.socket.ReceiveFrom(buffer.data(), kMaxReplyBytes, from, share);
        if (got.status == net::IoStatus::TimedOut)
            continue;
        if (!got.ok()) {
            table_->AddSkippedNetwork(channel.network + ": cannot receive: " +
                                      net::SocketErrorText(channel.socket.LastError()));
            CloseChannel(channel);
            --open;
            continue;
        }
        if (!table_->Accepting())
            continue;
        if (auto record = ParseReply(std::string_view(buffer.data(), got.bytes), table_->Models()))
            table_->Store(*record);
    }
    const bool failed = open == 0 || sendFailed_.load(std::memory_order_acquire);
    for (Channel& channel : channels_)
        CloseChannel(channel);
    // Discovery ends; manual mode and cameras added by hand still work.
    if (failed && options_.window) {
        options_.window->MessageBox("Network NG", "Information", MessageIcon::Stop,
                                    MessageButtons::Ok);
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
