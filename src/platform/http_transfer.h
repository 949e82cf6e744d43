// HTTP transfers through libcurl: the configuration download and the
// multipart restore upload. Nothing above src/platform includes curl.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vcq::http {

struct TransferLimits {
    std::chrono::milliseconds connect{10000};
    // A transfer that moves nothing for this long has failed (the receive bound).
    std::chrono::milliseconds stall{60000};
    // The whole transfer, however lively: configurations are small.
    std::chrono::milliseconds total{600000};
};
// Both transfers obey the abort of the thread they run on (AbortScope): a
// job's worker stops its download or restore with the job.

// Receives each piece of the body as libcurl hands it over, with the reply's
// status code; returning false stops the transfer.
using BodySink = std::function<bool(long status, std::string_view piece)>;

struct GetResult {
    // The whole body was received: to its Content-Length or last chunk, or,
    // when the reply gave neither, to the server's orderly close (FIN). A
    // reset, a time-out or a stop is never ok, with or without a length.
    bool ok = false;
    bool stopped = false;  // the sink stopped it
    long status = 0;       // HTTP status, 0 when none arrived
    // The reply said where its body ends (Content-Length or chunked); without
    // it only the kind of close tells a whole body from a cut one.
    bool lengthKnown = false;
    std::string error;  // why it failed, when it did
};

// GET with exactly the given extra header lines ("Name: value", no line end).
// Proxies are never used.
GetResult Get(const std::string& url, const std::string& agent,
              const std::vector<std::string>& headers, const BodySink& sink,
              const TransferLimits& limits = {});

struct PostResult {
    enum class Outcome { Ok, OpenFailed, SendFailed, EndFailed };
    Outcome outcome = Outcome::OpenFailed;
    long status = 0;
    std::string error;
};

// POST whose body is `writes` sent in order, its length announced by the
// caller's own "Content-Length" header: no chunked encoding, no
// "Expect: 100-continue", and no header of libcurl's own beyond Host.
// `onWrite` (may be empty) sees each write as it is handed to the connection.
PostResult Post(const std::string& url, const std::string& agent,
                const std::vector<std::string>& headers,
                const std::vector<std::string_view>& writes,
                const std::function<void(size_t index)>& onWrite = {},
                const TransferLimits& limits = {});

}  // namespace vcq::http
