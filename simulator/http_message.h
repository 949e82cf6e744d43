// HTTP/1.1 requests as the stand-in camera reads them, and the replies it
// writes. One request per connection; the camera closes after replying.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vcq::sim {

struct HttpRequest {
    std::string method;
    std::string target;  // path and query, as sent
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string raw;  // the exact bytes of request line, headers and body

    // Case-insensitive header lookup; the first occurrence wins.
    std::optional<std::string> Header(std::string_view name) const;
    std::string Path() const;  // target without any "?query"
};

struct ParseLimits {
    size_t maxHeadBytes = 8 * 1024;
    size_t maxBodyBytes = 4 * 1024 * 1024;  // a configuration restore is well below
};

// Incremental parser: feed bytes as they arrive, in any segmentation.
class RequestParser {
  public:
    enum class State { NeedMore, Complete, Malformed, TooLarge };

    explicit RequestParser(ParseLimits limits = {}) : limits_(limits) {}

    State Feed(std::string_view bytes);
    State state() const { return state_; }
    const HttpRequest& request() const { return request_; }
    // Why the request was rejected, for logs and tests.
    const std::string& error() const { return error_; }

  private:
    State ParseHead(std::string_view head);
    State Fail(State state, std::string why);

    ParseLimits limits_;
    State state_ = State::NeedMore;
    std::string buffer_;
    size_t headLength_ = 0;  // including the blank line; 0 until seen
    size_t contentLength_ = 0;
    HttpRequest request_;
    std::string error_;
};

struct HttpReply {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    // Replies that never arrive whole: the connection closes before the
    // status line, or after half the head; or it is held without a word
    // until the client gives up.
    enum class Cut { None, BeforeStatus, MidHead, Hold };
    Cut cut = Cut::None;
    // How the body's end is shown; Close, Reset and Stall send no length. Reset
    // breaks the connection after cutAfter bytes of the body,
    // and Stall sends that much and then nothing, never closing.
    enum class BodyEnd { Length, Chunked, Close, Reset, Stall };
    BodyEnd bodyEnd = BodyEnd::Length;
    size_t cutAfter = 0;  // body bytes sent before the reset or the silence
    // Further header lines ("Location"); never with an "=" in them.
    std::vector<std::pair<std::string, std::string>> headers{};
};

// Status line, headers and blank line. Our client finds keys by substring
// search over the whole reply, so no "=" may ever appear in the head.
std::string SerializeHead(const HttpReply& reply, std::string_view serverName);
// The body as it goes on the wire: as is, or in chunks under BodyEnd::Chunked.
std::string SerializeBody(const HttpReply& reply);
std::string_view ReasonPhrase(int status);

}  // namespace vcq::sim
