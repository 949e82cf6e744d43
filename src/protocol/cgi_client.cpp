#include "protocol/cgi_client.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace vcq {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kFirstRead = 1024;
constexpr size_t kReadBuffer = 10240;
constexpr size_t kMaxHeaderBytes = 64 * 1024;

// Plain decimal conversion as atoi does it: leading blanks, a sign, digits.
long long PlainDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > (1LL << 50))
            break;  // far beyond any body we accept
    }
    return negative ? -value : value;
}

}  // namespace

CgiClient::CgiClient(std::string_view hostText, ExchangeLimits limits)
    : hostText_(hostText), limits_(limits) {}

bool CgiClient::ParseHostText(std::string_view hostText, net::Endpoint& endpoint) {
    std::string_view address = hostText;
    unsigned port = 80;
    if (size_t colon = hostText.find(':'); colon != std::string_view::npos) {
        address = hostText.substr(0, colon);
        std::string_view portText = hostText.substr(colon + 1);
        auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (ec != std::errc() || end != portText.data() + portText.size() || port == 0 ||
            port > 65535)
            return false;
    }
    auto parsed = net::ParseIpv4(address);
    if (!parsed)
        return false;
    endpoint = {*parsed, static_cast<uint16_t>(port)};
    return true;
}

std::string CgiClient::FailureText() const {
    switch (failure_) {
        case ExchangeFailure::None:
            return {};
        case ExchangeFailure::BadAddress:
            return "\"" + hostText_ + "\" is not an IPv4 address with an optional port";
        case ExchangeFailure::NoConnection:
            return "no connection to " + hostText_ + " (refused, or no answer in time)";
        case ExchangeFailure::NotSent:
            return "the request to " + hostText_ + " could not be sent whole";
        case ExchangeFailure::NoReply:
            return "the reply of " + hostText_ + " never came whole";
        case ExchangeFailure::Stopped:
            return "stopped";
        case ExchangeFailure::TooLarge:
            return "the reply of " + hostText_ + " is larger than " +
                   std::to_string(limits_.maxBody / (1024 * 1024)) + " MiB";
    }
    return {};
}

std::string CgiClient::Exchange(std::string_view request) {
    const std::shared_ptr<TransferAbort> abort = AbortFor(abort_);
    if (abort && abort->Aborted()) {
        failure_ = ExchangeFailure::Stopped;
        return {};
    }
    std::string reply = ExchangeOnce(request, abort ? abort->Flag() : nullptr);
    if (reply.empty() && abort && abort->Aborted())
        failure_ = ExchangeFailure::Stopped;
    return reply;
}

std::string CgiClient::ExchangeOnce(std::string_view request, const std::atomic<bool>* stop) {
    failure_ = ExchangeFailure::BadAddress;
    cutEarly_ = false;
    net::Endpoint camera;
    if (!ParseHostText(hostText_, camera))
        return {};
    failure_ = ExchangeFailure::NoConnection;
    if (!net::StartSockets())
        return {};

    // Every path below returns through the socket's destructor, which closes it.
    net::TcpSocket socket;
    if (!socket.Open())
        return {};  // other cameras may be flashing: never end the process
    socket.SetStop(stop);
    const auto deadline = Clock::now() + limits_.total;
    auto remaining = [&] {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return std::clamp(left, std::chrono::milliseconds(0), limits_.read);
    };
    if (!socket.Connect(camera, limits_.connect))
        return {};
    failure_ = ExchangeFailure::NotSent;
    if (!socket.SendAll(request, limits_.read))
        return {};
    failure_ = ExchangeFailure::NoReply;

    std::string reply;
    std::string buffer(kReadBuffer, '\0');
    auto readSome = [&](size_t want) {
        auto got = socket.Receive(buffer.data(), std::min(want, buffer.size()), remaining());
        if (got.ok())
            reply.append(buffer.data(), got.bytes);
        cutEarly_ = reply.empty() &&
                    (got.status == net::IoStatus::Closed || got.status == net::IoStatus::Failed);
        return got.status;
    };

    // Status line and headers normally come whole in the first read; keep
    // reading only while the blank line that ends them is missing.
    size_t headerEnd = std::string::npos;
    for (size_t want = kFirstRead;; want = kReadBuffer) {
        net::IoStatus status = readSome(want);
        headerEnd = reply.find("\r\n\r\n");
        if (headerEnd != std::string::npos)
            break;
        if (reply.size() > kMaxHeaderBytes) {
            failure_ = ExchangeFailure::TooLarge;
            return {};
        }
        if (status != net::IoStatus::Ok)
            return {};
    }
    const std::string_view headers(reply.data(), headerEnd + 2);
    const size_t bodyStart = headerEnd + 4;

    long long expected = 0;
    if (size_t at = headers.find("Content-Length: "); at != std::string_view::npos) {
        size_t valueStart = at + 16;
        expected =
            PlainDecimal(headers.substr(valueStart, headers.find("\r\n", valueStart) - valueStart));
        if (expected < 0)
            expected = 0;
    }
    if (static_cast<unsigned long long>(expected) > limits_.maxBody) {
        failure_ = ExchangeFailure::TooLarge;
        return {};
    }

    // The body, however long; a reply cut short is no reply.
    while (reply.size() - bodyStart < static_cast<size_t>(expected)) {
        size_t missing = static_cast<size_t>(expected) - (reply.size() - bodyStart);
        if (readSome(missing) != net::IoStatus::Ok)
            return {};
    }

    const std::string_view finalHeaders(reply.data(), headerEnd + 2);
    if (size_t at = finalHeaders.find("Server: "); at != std::string_view::npos) {
        size_t valueStart = at + 8;
        size_t valueEnd = finalHeaders.find("\r\n", valueStart);
        serverVersion_ =
            ServerVersionFromHeader(finalHeaders.substr(valueStart, valueEnd - valueStart));
    }
    failure_ = ExchangeFailure::None;
    return reply;
}

std::string ServerVersionFromHeader(std::string_view value) {
    if (size_t slash = value.find('/'); slash != std::string_view::npos)
        value = value.substr(slash + 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r' ||
                              value.back() == '\n'))
        value.remove_suffix(1);
    return std::string(value);
}

std::string BuildCgiRequest(std::string_view cgiPath, std::string_view hostText,
                            std::string_view token, std::string_view body) {
    std::string request;
    request.reserve(128 + cgiPath.size() + hostText.size() + token.size() + body.size());
    request.append("POST ").append(cgiPath).append(" HTTP/1.1\r\n");
    request.append("Host: ").append(hostText).append("\r\n");
    request.append("Cache-Control: no-cache\r\n");
    request.append("Authorization: Basic ").append(token).append("\r\n");
    request.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n\r\n");
    request.append(body);
    return request;
}

std::string EncodeBasicToken(std::string_view input) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((input.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= input.size(); i += 3) {
        uint32_t n =
            (uint8_t(input[i]) << 16) | (uint8_t(input[i + 1]) << 8) | uint8_t(input[i + 2]);
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += kAlphabet[n & 63];
    }
    if (size_t rest = input.size() - i; rest > 0) {
        uint32_t n = uint8_t(input[i]) << 16;
        if (rest == 2)
            n |= uint8_t(input[i + 1]) << 8;
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string CameraHostText(const std::array<uint8_t, 4>& ip, int32_t port) {
    char text[32];
    if (port == 80)
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
    else
        std::snprintf(text, sizeof text, "%u.%u.%u.%u:%d", ip[0], ip[1], ip[2], ip[3], port);
    return text;
}

}  // namespace vcq
