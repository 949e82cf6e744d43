#include "platform/http_transfer.h"

#include "platform/transfer_abort.h"

#include "platform/curl_easy.h"

#include <cctype>
#include <memory>
#include <mutex>

namespace vcq::http {
namespace {

struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

HeaderList MakeHeaders(const std::vector<std::string>& headers) {
    curl_slist* list = nullptr;
    for (const auto& h : headers)
        list = curl_slist_append(list, h.c_str());
    return HeaderList(list);
}

// Settings every transfer shares: direct connection only, bounded waits.
void CommonOptions(CURL* curl, const std::string& url, const std::string& agent,
                   const TransferLimits& limits, char* errorBuffer) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    long stallSeconds = static_cast<long>((limits.stall.count() + 999) / 1000);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallSeconds > 0 ? stallSeconds : 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    errorBuffer[0] = '\0';
}

std::string ErrorText(CURLcode code, const char* buffer) {
    if (code == CURLE_ABORTED_BY_CALLBACK)
        return "the transfer was stopped";
    return buffer[0] ? std::string(buffer) : std::string(curl_easy_strerror(code));
}

// At least once a second while the transfer runs: an abort ends it there.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const TransferAbort::Enlisted*>(user)->Aborted() ? 1 : 0;
}

// Runs a prepared transfer under its abort.
CURLcode Perform(CURL* curl) {
    const TransferAbort::Enlisted enlisted(AbortFor(nullptr));
    if (enlisted.Aborted())
        return CURLE_ABORTED_BY_CALLBACK;
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &enlisted);
    return curl_easy_perform(curl);
}

struct GetState {
    CURL* curl;
    const BodySink* sink;
    bool stopped = false;
    bool chunked = false;
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

size_t GetHeader(char* data, size_t size, size_t count, void* user) {
    auto* state = static_cast<GetState*>(user);
    std::string_view line(data, size * count);
    if (StartsWithNoCase(line, "transfer-encoding:") &&
        line.find("chunked") != std::string_view::npos)
        state->chunked = true;
    return size * count;
}

size_t GetWrite(char* data, size_t size, size_t count, void* user) {
    auto* state = static_cast<GetState*>(user);
    long status = 0;
    curl_easy_getinfo(state->curl, CURLINFO_RESPONSE_CODE, &status);
    size_t bytes = size * count;
    if (!(*state->sink)(status, std::string_view(data, bytes))) {
        state->stopped = true;
        return CURL_WRITEFUNC_ERROR;
    }
    return bytes;
}

struct PostState {
    const std::vector<std::string_view>* writes;
    const std::function<void(size_t)>* onWrite;
    size_t index = 0;   // current write
    size_t offset = 0;  // bytes of it already handed over
    bool announced = false;
    size_t handed = 0;  // bytes given to libcurl
    size_t total = 0;

    bool Done() const { return index >= writes->size(); }
};

size_t PostRead(char* buffer, size_t size, size_t count, void* user) {
    auto* state = static_cast<PostState*>(user);
    size_t room = size * count;
    // Empty writes are real writes of the form (an empty piece after a full
    // one); they put no bytes on the wire but are still announced.
    while (!state->Done()) {
        std::string_view piece = (*state->writes)[state->index];
        if (!state->announced) {
            if (*state->onWrite)
                (*state->onWrite)(state->index);
            state->announced = true;
        }
        if (state->offset < piece.size()) {
            size_t n = std::min(room, piece.size() - state->offset);
            std::copy_n(piece.data() + state->offset, n, buffer);
            state->offset += n;
            state->handed += n;
            return n;
        }
        ++state->index;
        state->offset = 0;
        state->announced = false;
    }
    return 0;
}

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

}  // namespace

GetResult Get(const std::string& url, const std::string& agent,
              const std::vector<std::string>& headers, const BodySink& sink,
              const TransferLimits& limits) {
    GetResult result;
    curl::Easy curl = curl::NewEasy();
    if (!curl) {
        result.error = "cannot start an internet session";
        return result;
    }
    char errorBuffer[CURL_ERROR_SIZE];
    CommonOptions(curl.get(), url, agent, limits, errorBuffer);
    HeaderList list = MakeHeaders(headers);
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, list.get());
    GetState state{curl.get(), &sink};
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, GetWrite);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, GetHeader);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &state);
    CURLcode code = Perform(curl.get());
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.status);
    curl_off_t length = -1;
    curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    result.lengthKnown = length >= 0 || state.chunked;
    result.stopped = state.stopped;
    result.ok = code == CURLE_OK;
    if (!result.ok && !state.stopped)
        result.error = ErrorText(code, errorBuffer);
    return result;
}

PostResult Post(const std::string& url, const std::string& agent,
                const std::vector<std::string>& headers,
                const std::vector<std::string_view>& writes,
                const std::function<void(size_t index)>& onWrite, const TransferLimits& limits) {
    PostResult result;
    curl::Easy curl = curl::NewEasy();
    if (!curl) {
        result.error = "cannot start an internet session";
        return result;
    }
    char errorBuffer[CURL_ERROR_SIZE];
    CommonOptions(curl.get(), url, agent, limits, errorBuffer);

    curl_off_t total = 0;
    for (auto w : writes)
        total += static_cast<curl_off_t>(w.size());
    // Blank values remove the headers libcurl would add on its own; the
    // caller's own Content-Type and Content-Length take their places.
    std::vector<std::string> all = headers;
    all.push_back("Expect:");
    all.push_back("Transfer-Encoding:");
    HeaderList list = MakeHeaders(all);
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(curl.get(), CURLOPT_POST, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE, total);
    PostState state{&writes, &onWrite};
    state.total = static_cast<size_t>(total);
    curl_easy_setopt(curl.get(), CURLOPT_READFUNCTION, PostRead);
    curl_easy_setopt(curl.get(), CURLOPT_READDATA, &state);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, Discard);

    CURLcode code = Perform(curl.get());
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.status);
    if (code == CURLE_OK) {
        // Announce trailing empty writes libcurl had no reason to ask for.
        for (; !state.Done(); ++state.index, state.offset = 0, state.announced = false) {
            if (state.offset < (*state.writes)[state.index].size())
                break;
            if (!state.announced && onWrite)
                onWrite(state.index);
        }
        result.outcome = PostResult::Outcome::Ok;
        return result;
    }
    result.error = ErrorText(code, errorBuffer);
    if (code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST ||
        code == CURLE_URL_MALFORMAT || code == CURLE_UNSUPPORTED_PROTOCOL ||
        (code == CURLE_OPERATION_TIMEDOUT && state.index == 0 && !state.announced))
        result.outcome = PostResult::Outcome::OpenFailed;
    else if (state.handed == state.total)
        result.outcome = PostResult::Outcome::EndFailed;
    else
        result.outcome = PostResult::Outcome::SendFailed;
    return result;
}

}  // namespace vcq::http
