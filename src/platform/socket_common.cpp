// What the socket implementations share: address texts, moves.
#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/socket.h"

namespace vcq::net {

std::string NetworkInterface::Describe() const {
    return name + " " + FormatIpv4(address) + "/" + std::to_string(prefixLength);
}

std::string SocketErrorText(int portableError) {
    // The C runtime of MinGW has no words for the socket errors.
    struct Words {
        int error;
        const char* text;
    };
    static constexpr Words kWords[] = {
        {EADDRNOTAVAIL, "the address is not available on this PC"},
        {EADDRINUSE, "the address is in use"},
        {EACCES, "permission denied"},
        {ENETDOWN, "the network is down"},
        {ENETUNREACH, "the network is unreachable"},
        {EHOSTUNREACH, "no route to the host"},
        {ENOBUFS, "no buffer space available"},
        {EMSGSIZE, "the message is too long"},
        {ECONNRESET, "the connection was reset"},
    };
    for (const Words& words : kWords)
        if (words.error == portableError)
            return words.text;
    return std::strerror(portableError);
}

std::optional<uint32_t> ParseIpv4(std::string_view dotted) {
    uint32_t address = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= dotted.size() || dotted[pos] != '.')
                return std::nullopt;
            ++pos;
        }
        size_t start = pos;
        while (pos < dotted.size() && dotted[pos] >= '0' && dotted[pos] <= '9' && pos - start < 4)
            ++pos;
        if (pos == start || pos - start > 3)
            return std::nullopt;
        unsigned value = 0;
        std::from_chars(dotted.data() + start, dotted.data() + pos, value);
        if (value > 255)
            return std::nullopt;
        address = (address << 8) | value;
    }
    if (pos != dotted.size())
        return std::nullopt;
    return address;
}

std::string FormatIpv4(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string FormatEndpoint(const Endpoint& endpoint) {
    return FormatIpv4(endpoint.address) + ":" + std::to_string(endpoint.port);
}

Socket::Socket(Socket&& other) noexcept
    : handle_(other.handle_), lastError_(other.lastError_), stop_(other.stop_) {
    other.handle_ = kNoSocket;
}

bool Socket::StopAsked() {
    if (!stop_ || !stop_->load())
        return false;
    lastError_ = ECANCELED;
    return true;
}

IoStatus Socket::Wait(bool forWrite, Millis timeout) {
    if (!stop_)
        return WaitOnce(forWrite, timeout);
    using Clock = std::chrono::steady_clock;
    const bool bounded = timeout.count() >= 0;
    const auto end = Clock::now() + (bounded ? timeout : Millis(0));
    for (;;) {
        if (StopAsked())
            return IoStatus::Failed;
        const auto left = std::chrono::duration_cast<Millis>(end - Clock::now());
        const Millis slice = bounded ? std::clamp(left, Millis(0), kStopSlice) : kStopSlice;
        const IoStatus status = WaitOnce(forWrite, slice);
        if (status != IoStatus::TimedOut || (bounded && Clock::now() >= end))
            return status;
    }
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        lastError_ = other.lastError_;
        stop_ = other.stop_;
        other.handle_ = kNoSocket;
    }
    return *this;
}

Socket::~Socket() {
    Close();
}

}  // namespace vcq::net
