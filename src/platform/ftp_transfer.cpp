#include "platform/ftp_transfer.h"

#include "platform/curl_easy.h"

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

}  // namespace

struct FtpConnection::Handle {
    CURL* curl = nullptr;
    char error[CURL_ERROR_SIZE] = {};
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
      limits_(limits) {}

FtpConnection::~FtpConnection() {
    Close();
}

void FtpConnection::Close() {
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
    if (getenv("VCQ_FTP_TRACE"))
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    handle_->error[0] = '\0';
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
    CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(quote);
    if (code != CURLE_OK) {
        lastError_ = handle_->error[0] ? handle_->error : curl_easy_strerror(code);
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

bool FtpConnection::Upload(const std::string& localPath, const std::string& name) {
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
    CURLcode code = curl_easy_perform(curl);
    std::fclose(file);
    if (code != CURLE_OK) {
        lastError_ = handle_->error[0] ? handle_->error : curl_easy_strerror(code);
        return false;
    }
    return true;
}

}  // namespace vcq::ftp
