// FTP over WinINet: active mode (no INTERNET_FLAG_PASSIVE, so PORT), binary,
// CWD and MKD as given, STOR into the current folder.
#include "platform/ftp_transfer.h"

#include "platform/socket.h"
#include "platform/text_win.h"
#include "platform/wininet_session.h"

namespace vcq::ftp {
namespace {

// What the camera answered ("550 ..."), or that it went away, as the
// libcurl side says it; otherwise WinINet's own account of `what`.
std::string FtpFailure(const char* what) {
    const DWORD error = GetLastError();
    // A refused login keeps the server's "530" line as the last response too.
    if (error == ERROR_INTERNET_EXTENDED_ERROR || error == ERROR_INTERNET_LOGIN_FAILURE) {
        DWORD code = 0;
        wchar_t reply[1024];
        DWORD length = sizeof reply / sizeof reply[0];
        if (InternetGetLastResponseInfoW(&code, reply, &length) && length > 0) {
            std::string text = text::WideToUtf8(std::wstring_view(reply, length));
            while (!text.empty() &&
                   (text.back() == '\0' || text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            // A reply of several lines ends with the one that carries its code.
            const size_t last = text.find_last_of('\n');
            if (!text.empty())
                return last == std::string::npos ? text : text.substr(last + 1);
        }
    }
    // Wine reports a drop in mid-transfer as a transfer still in progress.
    if (error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_INTERNET_CONNECTION_ABORTED ||
        error == ERROR_FTP_DROPPED || error == ERROR_FTP_TRANSFER_IN_PROGRESS)
        return "the camera dropped the connection (WinINet error " + std::to_string(error) + ")";
    SetLastError(error);
    return inet::LastErrorText(what);
}

}  // namespace

struct FtpConnection::Handle {
    inet::Handle session;
    inet::Handle connection;
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
    if (!net::ParseIpv4(host_)) {
        lastError_ = "not an IPv4 address: " + host_;  // a name is never looked up
        return false;
    }
    auto handle = std::make_unique<Handle>();
    handle->session = inet::OpenSession("vcq-upgrade", limits_.connect, limits_.stall);
    if (!handle->session) {
        lastError_ = inet::LastErrorText("starting an FTP session");
        return false;
    }
    handle->connection.reset(
        InternetConnectW(handle->session.get(), text::Utf8ToWide(host_).c_str(), port_,
                         text::Utf8ToWide(user_).c_str(), text::Utf8ToWide(password_).c_str(),
                         INTERNET_SERVICE_FTP, 0, 0));
    if (!handle->connection) {
        lastError_ = FtpFailure("FTP login");
        return false;
    }
    handle_ = std::move(handle);
    return true;
}

bool FtpConnection::ChangeFolder(const std::string& path) {
    if (!handle_)
        return false;
    if (!FtpSetCurrentDirectoryW(handle_->connection.get(), text::Utf8ToWide(path).c_str())) {
        lastError_ = FtpFailure(("CWD " + path).c_str());
        return false;
    }
    return true;
}

void FtpConnection::CreateFolderIgnoringFailure(const std::string& name) {
    if (handle_)
        FtpCreateDirectoryW(handle_->connection.get(), text::Utf8ToWide(name).c_str());
}

bool FtpConnection::Upload(const std::string& localPath, const std::string& name) {
    if (!handle_)
        return false;
    if (!FtpPutFileW(handle_->connection.get(), text::Utf8ToWide(localPath).c_str(),
                     text::Utf8ToWide(name).c_str(), FTP_TRANSFER_TYPE_BINARY, 0)) {
        lastError_ = FtpFailure(("STOR " + name).c_str());
        return false;
    }
    return true;
}

}  // namespace vcq::ftp
