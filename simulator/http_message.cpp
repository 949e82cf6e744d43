#include "http_message.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace vcq::sim {
namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsTokenChar(char c) {
    if (std::isalnum(static_cast<unsigned char>(c)))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<std::string> HttpRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (EqualsIgnoreCase(key, name))
            return value;
    return std::nullopt;
}

std::string HttpRequest::Path() const {
    return target.substr(0, target.find('?'));
}

RequestParser::State RequestParser::Fail(State state, std::string why) {
    error_ = std::move(why);
    return state_ = state;
}

RequestParser::State RequestParser::Feed(std::string_view bytes) {
    if (state_ != State::NeedMore)
        return state_;
    buffer_.append(bytes);
    if (headLength_ == 0) {
        size_t end = buffer_.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (buffer_.size() > limits_.maxHeadBytes)
                return Fail(State::TooLarge, "head too long");
            return state_;
        }
        if (end + 4 > limits_.maxHeadBytes)
            return Fail(State::TooLarge, "head too long");
        headLength_ = end + 4;
        if (State s = ParseHead(std::string_view(buffer_).substr(0, end)); s != State::NeedMore)
            return s;
    }
    if (buffer_.size() < headLength_ + contentLength_)
        return state_;
    // Anything after the announced body is ignored: one request per connection.
    buffer_.resize(headLength_ + contentLength_);
    request_.body = buffer_.substr(headLength_);
    request_.raw = std::move(buffer_);
    buffer_.clear();
    return state_ = State::Complete;
}

RequestParser::State RequestParser::ParseHead(std::string_view head) {
    size_t lineEnd = head.find("\r\n");
    std::string_view line = head.substr(0, lineEnd);
    std::string_view rest = lineEnd == std::string_view::npos ? "" : head.substr(lineEnd + 2);

    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos)
        return Fail(State::Malformed, "bad request line");
    request_.method = line.substr(0, sp1);
    request_.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    request_.version = line.substr(sp2 + 1);
    if (!IsToken(request_.method))
        return Fail(State::Malformed, "bad method");
    if (request_.target.empty() || request_.target.front() != '/')
        return Fail(State::Malformed, "bad target");
    if (request_.version != "HTTP/1.1" && request_.version != "HTTP/1.0")
        return Fail(State::Malformed, "bad version");

    std::optional<size_t> contentLength;
    while (!rest.empty()) {
        size_t end = rest.find("\r\n");
        std::string_view header = rest.substr(0, end);
        rest = end == std::string_view::npos ? "" : rest.substr(end + 2);
        size_t colon = header.find(':');
        if (colon == std::string_view::npos || !IsToken(header.substr(0, colon)))
            return Fail(State::Malformed, "bad header line");
        std::string_view name = header.substr(0, colon);
        std::string_view value = Trim(header.substr(colon + 1));
        if (value.find_first_of("\r\n") != std::string_view::npos)
            return Fail(State::Malformed, "stray line break in header");
        if (EqualsIgnoreCase(name, "Transfer-Encoding"))
            return Fail(State::Malformed, "transfer codings are not supported");
        if (EqualsIgnoreCase(name, "Content-Length")) {
            size_t length = 0;
            auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
            if (ec == std::errc::result_out_of_range)
                return Fail(State::TooLarge, "body too long");
            if (value.empty() || ec != std::errc() || ptr != value.data() + value.size())
                return Fail(State::Malformed, "bad Content-Length");
            if (contentLength && *contentLength != length)
                return Fail(State::Malformed, "conflicting Content-Length");
            if (length > limits_.maxBodyBytes)
                return Fail(State::TooLarge, "body too long");
            contentLength = length;
        }
        request_.headers.emplace_back(name, value);
    }
    contentLength_ = contentLength.value_or(0);
    return State::NeedMore;
}

std::string_view ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Unknown";
    }
}

std::string SerializeHead(const HttpReply& reply, std::string_view serverName) {
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " ";
    head += ReasonPhrase(reply.status);
    head += "\r\n";
    if (!serverName.empty())
        head += "Server: " + std::string(serverName) + "\r\n";
    for (const auto& [name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    if (!reply.body.empty())
        head += "Content-Type: " + reply.contentType + "\r\n";
    if (reply.bodyEnd == HttpReply::BodyEnd::Chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (reply.bodyEnd == HttpReply::BodyEnd::Length && !reply.body.empty())
        head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    return head;
}

std::string SerializeBody(const HttpReply& reply) {
    if (reply.bodyEnd != HttpReply::BodyEnd::Chunked)
        return reply.body;
    // Uneven chunks, so that no chunk lines up with a reader's buffer.
    constexpr size_t kChunk = 1000;
    std::string out;
    char size[16];
    for (size_t at = 0; at < reply.body.size(); at += kChunk) {
        size_t n = std::min(kChunk, reply.body.size() - at);
        std::snprintf(size, sizeof size, "%zx\r\n", n);
        out += size;
        out.append(reply.body, at, n);
        out += "\r\n";
    }
    return out + "0\r\n\r\n";
}

}  // namespace vcq::sim
