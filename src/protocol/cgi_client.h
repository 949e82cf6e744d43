// One HTTP/1.1 exchange with a camera's CGI interface over a plain TCP
// connection, the one layout of every CGI request, and the Basic token.
#pragma once

#include <array>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http_transfer.h"
#include "platform/socket.h"
#include "platform/transfer_abort.h"

namespace vcq {

// Bounds of one exchange. A camera on the LAN answers a CGI request within a
// second or two; these leave room for a busy camera, yet a camera that is off,
// rebooting or stuck gives an empty reply instead of blocking its caller.
struct ExchangeLimits {
    std::chrono::milliseconds connect{3000};  // connection set-up
    std::chrono::milliseconds read{10000};    // each wait for data, and the send
    std::chrono::milliseconds total{60000};   // the whole exchange
    size_t maxBody = 64u * 1024 * 1024;       // a larger announced body is not a camera reply
};

// Why an exchange gave no reply.
enum class ExchangeFailure {
    None,          // a whole reply came
    BadAddress,    // the host text is not a dotted IPv4 address with an optional port
    NoConnection,  // refused, unreachable or not accepted in time: the request never left
    NotSent,       // connected, but the request could not be sent whole
    NoReply,       // sent, but the reply never came whole (closed, cut short, too slow)
    TooLarge,      // the reply's head or announced body is beyond the limits
    Stopped,       // its abort was pulled: the job stops
};

class CgiClient {
  public:
    explicit CgiClient(std::string_view hostText, ExchangeLimits limits = {});
    virtual ~CgiClient() = default;
    CgiClient(const CgiClient&) = delete;
    CgiClient& operator=(const CgiClient&) = delete;

    // Sends one complete request and returns the whole reply (status line,
    // headers, blank line, body); empty when no complete reply was obtained.
    // It obeys the abort given here, else its thread's (AbortScope): once
    // pulled, it ends within a fraction of a second.
    std::string Exchange(std::string_view request);
    void SetAbort(std::shared_ptr<TransferAbort> abort) { abort_ = std::move(abort); }
    // Why the last exchange gave an empty reply, and the same in words.
    ExchangeFailure lastFailure() const { return failure_; }
    std::string FailureText() const;
    // The last exchange got no byte back and its connection was closed or
    // reset rather than left silent: the camera went away.
    bool CutBeforeReply() const { return failure_ == ExchangeFailure::NoReply && cutEarly_; }

    // The configuration to restore; not copied: the caller keeps it alive
    // until RestoreConfiguration returns.
    void SetRestoreData(const char* data, uint32_t size);
    // Uploads it as the camera's multipart configuration form. 0 only when
    // the whole form was sent and the camera answered whole with a 2xx or
    // 3xx status (a redirect is a web form's yes; it is not followed); -1
    // when the connection or sending failed; -2 when no whole reply came
    // (the connection cut); -3 when the camera answered 4xx or 5xx (it
    // refused the configuration).
    int RestoreConfiguration();
    // Why the last restore did not count, in words; empty after a success.
    const std::string& restoreError() const { return restoreError_; }
    // The status the camera answered the last restore with; 0 without one.
    long restoreStatus() const { return restoreStatus_; }
    // The sizes of the form's writes in the last restore (head, pieces, tail).
    const std::vector<size_t>& restoreWrites() const { return restoreWrites_; }
    void SetRestoreLimits(const http::TransferLimits& limits) { restoreLimits_ = limits; }

    const std::string& hostText() const { return hostText_; }
    // The firmware version from the last reply's "Server: " header.
    const std::string& serverVersion() const { return serverVersion_; }

    // Splits "a.b.c.d[:port]"; false when the address is not dotted IPv4 or
    // the port is not a number from 1 to 65535. Names are not resolved.
    static bool ParseHostText(std::string_view hostText, net::Endpoint& endpoint);

  private:
    std::string ExchangeOnce(std::string_view request, const std::atomic<bool>* stop);

    std::string hostText_;
    ExchangeLimits limits_;
    std::shared_ptr<TransferAbort> abort_;
    std::string serverVersion_;
    ExchangeFailure failure_ = ExchangeFailure::None;
    bool cutEarly_ = false;
    long restoreStatus_ = 0;
    const char* restoreData_ = nullptr;
    uint32_t restoreSize_ = 0;
    std::vector<size_t> restoreWrites_;
    std::string restoreError_;
    http::TransferLimits restoreLimits_;
};

// A camera's host text: "a.b.c.d", with ":port" only when the port is not
// 80. Every exchange with the camera and every list shows this form.
std::string CameraHostText(const std::array<uint8_t, 4>& ip, int32_t port);

// The restore form's boundary for a time stamp (seconds since 1970).
std::string RestoreBoundary(long long secondsSince1970);

// "POST path HTTP/1.1", Host, Cache-Control, Authorization and Content-Length
// headers, a blank line and the body; nothing else.
std::string BuildCgiRequest(std::string_view cgiPath, std::string_view hostText,
                            std::string_view token, std::string_view body);

// Standard Base64 with "=" padding, of "name:password".
std::string EncodeBasicToken(std::string_view credentials);

// The value of a "Server: " header line: the text after the first "/", with
// trailing white space removed; the whole value when it has no "/".
std::string ServerVersionFromHeader(std::string_view headerValue);

}  // namespace vcq
