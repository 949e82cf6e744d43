// The HTTP transfers over WinINet: the same contract as the libcurl ones.
#include "platform/http_transfer.h"

#include "platform/transfer_abort.h"

#include <algorithm>
#include <cctype>

#include "platform/text_win.h"
#include "platform/wininet_session.h"

namespace vcq::http {
namespace {

constexpr DWORD kRequestFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_AUTH;

// An abort closes every handle of the request from its own thread, which
// ends a WinINet call blocked in it.
struct Request {
    Request() : enlisted(AbortFor(nullptr), [this] { handles.CloseAll(); }) {}
    bool Stopped() const { return enlisted.Aborted(); }
    // The failure in words, or that the abort stopped it.
    std::string Failure(const char* what) const {
        return Stopped() ? "the transfer was stopped" : inet::LastErrorText(what);
    }

    inet::HandleSet handles;
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    std::string error;
    TransferAbort::Enlisted enlisted;  // ends before the handles close
};

// Session, connection and request, the caller's headers added in order.
bool OpenRequest(Request& r, const wchar_t* verb, const std::string& url, const std::string& agent,
                 const std::vector<std::string>& headers, const TransferLimits& limits) {
    inet::Url parts;
    if (!inet::SplitUrl(url, parts)) {
        r.error = "not an http URL: " + url;
        return false;
    }
    if (r.Stopped()) {
        r.error = "the transfer was stopped";
        return false;
    }
    r.session = r.handles.Add(inet::OpenSession(agent, limits.connect, limits.stall).release());
    if (!r.session) {
        r.error = inet::LastErrorText("starting an internet session");
        return false;
    }
    r.connection =
        r.handles.Add(InternetConnectW(r.session, text::Utf8ToWide(parts.host).c_str(), parts.port,
                                       nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!r.connection) {
        r.error = r.Failure("connecting");
        return false;
    }
    r.request =
        r.handles.Add(HttpOpenRequestW(r.connection, verb, text::Utf8ToWide(parts.path).c_str(),
                                       L"HTTP/1.1", nullptr, nullptr, kRequestFlags, 0));
    if (!r.request) {
        r.error = r.Failure("opening the request");
        return false;
    }
    inet::SetTimeouts(r.request, limits.connect, limits.stall);
    for (const auto& header : headers) {
        std::wstring line = text::Utf8ToWide(header + "\r\n");
        if (!HttpAddRequestHeadersW(r.request, line.c_str(), static_cast<DWORD>(line.size()),
                                    HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE)) {
            r.error = r.Failure("adding a header");
            return false;
        }
    }
    return true;
}

long QueryNumber(HINTERNET request, DWORD what, bool& present) {
    DWORD value = 0;
    DWORD size = sizeof value;
    present = HttpQueryInfoW(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr) != 0;
    return present ? static_cast<long>(value) : 0;
}

bool IsChunked(HINTERNET request) {
    wchar_t value[64];
    DWORD size = sizeof value;
    if (!HttpQueryInfoW(request, HTTP_QUERY_TRANSFER_ENCODING, value, &size, nullptr))
        return false;
    std::wstring text(value, size / sizeof(wchar_t));
    std::transform(text.begin(), text.end(), text.begin(), ::towlower);
    return text.find(L"chunked") != std::wstring::npos;
}

}  // namespace

GetResult Get(const std::string& url, const std::string& agent,
              const std::vector<std::string>& headers, const BodySink& sink,
              const TransferLimits& limits) {
    GetResult result;
    const auto start = std::chrono::steady_clock::now();
    Request r;
    if (!OpenRequest(r, L"GET", url, agent, headers, limits)) {
        result.error = r.error;
        return result;
    }
    if (!HttpSendRequestW(r.request, nullptr, 0, nullptr, 0)) {
        result.error = r.Failure("sending the request");
        return result;
    }
    bool present = false;
    result.status = QueryNumber(r.request, HTTP_QUERY_STATUS_CODE, present);
    bool lengthGiven = false;
    const long length = QueryNumber(r.request, HTTP_QUERY_CONTENT_LENGTH, lengthGiven);
    const bool chunked = IsChunked(r.request);
    result.lengthKnown = lengthGiven || chunked;
    long long received = 0;
    char buffer[16384];
    for (;;) {
        if (std::chrono::steady_clock::now() - start > limits.total) {
            result.error = "the transfer took too long";
            return result;
        }
        DWORD n = 0;
        if (!InternetReadFile(r.request, buffer, sizeof buffer, &n)) {
            result.error = r.Failure("receiving the body");
            return result;
        }
        if (n == 0)
            break;
        received += n;
        if (!sink(result.status, std::string_view(buffer, n))) {
            result.stopped = true;
            return result;
        }
    }
    // WinINet ends a body cut short like a whole one: the length tells.
    if (lengthGiven && !chunked && received < length) {
        result.error = "the reply ended after " + std::to_string(received) + " of " +
                       std::to_string(length) + " bytes";
        return result;
    }
    result.ok = true;
    return result;
}

PostResult Post(const std::string& url, const std::string& agent,
                const std::vector<std::string>& headers,
                const std::vector<std::string_view>& writes,
                const std::function<void(size_t index)>& onWrite, const TransferLimits& limits) {
    PostResult result;
    Request r;
    // The caller's Content-Length goes out through the buffer total, once.
    std::vector<std::string> own;
    for (const auto& header : headers) {
        std::string name = header.substr(0, header.find(':'));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (name != "content-length")
            own.push_back(header);
    }
    if (!OpenRequest(r, L"POST", url, agent, own, limits)) {
        result.error = r.error;
        return result;
    }
    size_t total = 0;
    for (auto w : writes)
        total += w.size();
    INTERNET_BUFFERSW buffers{};
    buffers.dwStructSize = sizeof buffers;
    buffers.dwBufferTotal = static_cast<DWORD>(total);
    if (!HttpSendRequestExW(r.request, &buffers, nullptr, 0, 0)) {
        result.error = r.Failure("opening the upload");
        return result;
    }
    for (size_t i = 0; i < writes.size(); ++i) {
        if (onWrite)
            onWrite(i);
        std::string_view piece = writes[i];
        while (!piece.empty()) {
            DWORD sent = 0;
            if (!InternetWriteFile(r.request, piece.data(), static_cast<DWORD>(piece.size()),
                                   &sent) ||
                sent == 0) {
                result.outcome = PostResult::Outcome::SendFailed;
                result.error = r.Failure("sending the body");
                return result;
            }
            piece.remove_prefix(sent);
        }
    }
    if (!HttpEndRequestW(r.request, nullptr, 0, 0)) {
        result.outcome = PostResult::Outcome::EndFailed;
        result.error = r.Failure("ending the upload");
        return result;
    }
    bool present = false;
    result.status = QueryNumber(r.request, HTTP_QUERY_STATUS_CODE, present);
    // WinINet takes a reply without a whole status line for an old-style
    // one: that is no answer, not a refusal.
    if (!present || result.status < 100 || result.status > 999) {
        result.outcome = PostResult::Outcome::EndFailed;
        result.status = 0;
        result.error = "no whole status line came back";
        return result;
    }
    // Read the reply to its end so the connection is left in order.
    char buffer[4096];
    DWORD n = 0;
    while (InternetReadFile(r.request, buffer, sizeof buffer, &n) && n > 0) {
    }
    result.outcome = PostResult::Outcome::Ok;
    return result;
}

}  // namespace vcq::http
