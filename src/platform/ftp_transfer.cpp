#include "platform/ftp_transfer.h"

#include "platform/curl_easy.h"
#include "platform/ftp_common.h"

#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace vcq::ftp {
namespace {

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

size_t ReadFile(char* buffer, size_t size, size_t count, void* user) {
    return std::fread(buffer, 1, size * count, static_cast<std::FILE*>(user));
}

// libcurl hands every reply line of the control connection to the header
// function; the last one is what the server last said.
size_t KeepReply(char* data, size_t size, size_t count, void* user) {
    std::string line = LastReplyLine(std::string_view(data, size * count));
    if (!line.empty())
        *static_cast<std::string*>(user) = std::move(line);
    return size * count;
}

// Called at least once a second while a transfer runs, connecting and
// waiting for the camera's data connection included.
struct Progress {
    const TransferAbort::Enlisted* enlisted = nullptr;
    const FtpConnection::SentBytes* sent = nullptr;
};

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
    auto* progress = static_cast<Progress*>(user);
    if (progress->sent && *progress->sent)
        (*progress->sent)(static_cast<uint64_t>(uploaded));
    return progress->enlisted->Aborted() ? 1 : 0;
}

// The connection broke under the transfer rather than the server saying no.
bool IsDrop(CURLcode code) {
    switch (code) {
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_UPLOAD_FAILED:
        case CURLE_FTP_WEIRD_SERVER_REPLY:
            return true;
        default:
            return false;
    }
}

}  // namespace

struct FtpConnection::Handle {
    CURL* curl = nullptr;
    char error[CURL_ERROR_SIZE] = {};
    std::string lastReply;  // of the current operation only
    Progress progress;      // of the current operation only
    ~Handle() {
        if (curl)
            curl_easy_cleanup(curl);
    }
};

FtpConnection::FtpConnection(std::string host, uint16_t port, std::string user,
                             std::string password, FtpLimits limits)
    : host_(std::move(host)),
      port_(port),
      user_(std::move(user)),
      password_(std::move(password)),
      limits_(std::move(limits)) {}

FtpConnection::~FtpConnection() {
    Close();
}

void FtpConnection::Close() {
    // libcurl says QUIT on closing and waits for the answer; a stopped job
    // must not wait on a camera that may never give it.
    const std::shared_ptr<TransferAbort> abort = AbortFor(limits_.abort);
    curl_socket_t control = CURL_SOCKET_BAD;
    if (handle_ && handle_->curl && abort && abort->Aborted() &&
        curl_easy_getinfo(handle_->curl, CURLINFO_ACTIVESOCKET, &control) == CURLE_OK &&
        control != CURL_SOCKET_BAD)
        ::shutdown(control, SHUT_RDWR);
    handle_.reset();
}

bool FtpConnection::Open() {
    Close();
    handle_ = std::make_unique<Handle>();
    handle_->curl = curl::NewEasy().release();
    if (!handle_->curl) {
        lastError_ = "cannot start an FTP session";
        handle_.reset();
        return false;
    }
    // Logging in is a command-only request with nothing sent but the login.
    return Command("", false);
}

void FtpConnection::Prepare(const std::string& url) {
    CURL* curl = handle_->curl;
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERNAME, user_.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password_.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connect.count()));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                     static_cast<long>((limits_.stall.count() + 999) / 1000));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>((limits_.stall.count() + 999) / 1000));
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(curl, CURLOPT_FTPPORT, "-");  // active mode, our end of the control link
    curl_easy_setopt(curl, CURLOPT_FTP_USE_EPRT, 0L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, handle_->error);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, KeepReply);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &handle_->lastReply);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &handle_->progress);
    if (getenv("VCQ_FTP_TRACE"))
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    // Nothing of an earlier operation may explain this one's failure.
    handle_->error[0] = '\0';
    handle_->lastReply.clear();
    lastError_.clear();
}

void FtpConnection::Fail(int result) {
    const auto code = static_cast<CURLcode>(result);
    // libcurl keeps the first message of an operation, which is often a
    // harmless one from setting up the data port, so the server's own
    // refusal comes first, then a dropped connection, then libcurl's words.
    if (code == CURLE_ABORTED_BY_CALLBACK)
        lastError_ = kStoppedText;
    else if (code == CURLE_FTP_ACCEPT_FAILED || code == CURLE_FTP_ACCEPT_TIMEOUT)
        lastError_ = kConnectBackText;
    else if (IsRefusal(handle_->lastReply))
        lastError_ = handle_->lastReply;
    else if (IsDrop(code))
        lastError_ = DroppedText(curl_easy_strerror(code));
    else if ((code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST) &&
             handle_->error[0])
        lastError_ = handle_->error;  // said before any data port was set up
    else
        lastError_ = curl_easy_strerror(code);
    if (getenv("VCQ_FTP_TRACE"))
        std::fprintf(stderr, "ftp: %s [%d: %s]\n", lastError_.c_str(), static_cast<int>(code),
                     handle_->error);
}

bool FtpConnection::Command(const std::string& command, bool ignoreFailure) {
    if (!handle_)
        return false;
    CURL* curl = handle_->curl;
    std::string url = "ftp://" + host_ + ":" + std::to_string(port_) + "/";
    Prepare(url);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);

    curl_slist* quote = nullptr;
    if (!command.empty())
        quote = curl_slist_append(quote, ((ignoreFailure ? "*" : "") + command).c_str());
    curl_easy_setopt(curl, CURLOPT_QUOTE, quote);
    const int code = Perform();
    curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(quote);
    if (code != CURLE_OK) {
        Fail(code);
        return false;
    }
    return true;
}

bool FtpConnection::ChangeFolder(const std::string& path) {
    return Command("CWD " + path, false);
}

void FtpConnection::CreateFolderIgnoringFailure(const std::string& name) {
    Command("MKD " + name, true);
}

int FtpConnection::Perform(const SentBytes* sent) {
    const TransferAbort::Enlisted enlisted(AbortFor(limits_.abort));
    if (enlisted.Aborted())
        return CURLE_ABORTED_BY_CALLBACK;
    handle_->progress = Progress{&enlisted, sent};
    const CURLcode code = curl_easy_perform(handle_->curl);
    handle_->progress = Progress{};
    return code;
}

bool FtpConnection::Upload(const std::string& localPath, const std::string& name,
                           const SentBytes& sent) {
    if (!handle_)
        return false;
    std::FILE* file = std::fopen(localPath.c_str(), "rb");
    if (!file) {
        lastError_ = "cannot read " + localPath;
        return false;
    }
    CURL* curl = handle_->curl;
    // NOCWD: libcurl sends "STOR name" in the folder the last CWD chose.
    char* escaped = curl_easy_escape(curl, name.c_str(), static_cast<int>(name.size()));
    std::string url = "ftp://" + host_ + ":" + std::to_string(port_) + "/" + escaped;
    curl_free(escaped);
    Prepare(url);
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadFile);
    curl_easy_setopt(curl, CURLOPT_READDATA, file);
    const int code = Perform(&sent);
    std::fclose(file);
    if (code != CURLE_OK) {
        Fail(code);
        return false;
    }
    return true;
}

}  // namespace vcq::ftp
