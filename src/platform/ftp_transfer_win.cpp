// FTP over WinINet: active mode (no INTERNET_FLAG_PASSIVE, so PORT), binary,
// CWD and MKD as given, STOR into the current folder as a loop of writes, so
// that the bytes sent are known and an abort, which closes the handles from
// its own thread, ends the upload.
#include "platform/ftp_transfer.h"

#include "platform/ftp_common.h"
#include "platform/socket.h"
#include "platform/text_win.h"
#include "platform/wininet_session.h"

namespace vcq::ftp {
namespace {

// WSAECONNRESET and WSAECONNABORTED, as a data connection's write reports them.
constexpr DWORD kSocketReset = 10054;
constexpr DWORD kSocketAborted = 10053;

// The last line the server sent on the control connection, empty when none.
std::string ServerLastLine() {
    DWORD code = 0;
    wchar_t reply[1024];
    DWORD length = sizeof reply / sizeof reply[0];
    if (!InternetGetLastResponseInfoW(&code, reply, &length) || length == 0)
        return {};
    return LastReplyLine(text::WideToUtf8(std::wstring_view(reply, length)));
}

// What the camera answered ("550 ..."), or that it went away, as the
// libcurl side says it; otherwise WinINet's own account of `what`.
std::string FtpFailure(const char* what) {
    const DWORD error = GetLastError();
    // A refused login keeps the server's "530" line as the last response too.
    if (error == ERROR_INTERNET_EXTENDED_ERROR || error == ERROR_INTERNET_LOGIN_FAILURE) {
        std::string line = ServerLastLine();
        if (!line.empty())
            return line;
    }
    // Wine reports a drop in mid-transfer as a transfer still in progress, a
    // write into a reset connection as the socket's own error.
    if (error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_INTERNET_CONNECTION_ABORTED ||
        error == ERROR_FTP_DROPPED || error == ERROR_FTP_TRANSFER_IN_PROGRESS ||
        error == kSocketReset || error == kSocketAborted)
        return DroppedText(inet::SystemText(error));
    SetLastError(error);
    return inet::LastErrorText(what);
}

}  // namespace

struct FtpConnection::Handle {
    inet::HandleSet handles;  // session, connection, the file being sent
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
};

namespace {

// One operation under the connection's abort, which closes every handle.
struct Operation {
    Operation(const std::shared_ptr<TransferAbort>& abort, inet::HandleSet& handles)
        : enlisted(AbortFor(abort), [&handles] { handles.CloseAll(); }) {}
    TransferAbort::Enlisted enlisted;
};

}  // namespace

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
    handle_.reset();
}

bool FtpConnection::Open() {
    Close();
    if (!net::ParseIpv4(host_)) {
        lastError_ = "not an IPv4 address: " + host_;  // a name is never looked up
        return false;
    }
    auto handle = std::make_unique<Handle>();
    const Operation operation(limits_.abort, handle->handles);
    if (operation.enlisted.Aborted()) {
        lastError_ = kStoppedText;
        return false;
    }
    handle->session = handle->handles.Add(
        inet::OpenSession("vcq-upgrade", limits_.connect, limits_.stall).release());
    if (!handle->session) {
        lastError_ = inet::LastErrorText("starting an FTP session");
        return false;
    }
    handle->connection = handle->handles.Add(InternetConnectW(
        handle->session, text::Utf8ToWide(host_).c_str(), port_, text::Utf8ToWide(user_).c_str(),
        text::Utf8ToWide(password_).c_str(), INTERNET_SERVICE_FTP, 0, 0));
    if (!handle->connection) {
        lastError_ = operation.enlisted.Aborted() ? kStoppedText : FtpFailure("FTP login");
        return false;
    }
    handle_ = std::move(handle);
    return true;
}

bool FtpConnection::ChangeFolder(const std::string& path) {
    if (!handle_)
        return false;
    const Operation operation(limits_.abort, handle_->handles);
    if (operation.enlisted.Aborted() ||
        !FtpSetCurrentDirectoryW(handle_->connection, text::Utf8ToWide(path).c_str())) {
        lastError_ =
            operation.enlisted.Aborted() ? kStoppedText : FtpFailure(("CWD " + path).c_str());
        return false;
    }
    return true;
}

void FtpConnection::CreateFolderIgnoringFailure(const std::string& name) {
    if (!handle_)
        return;
    const Operation operation(limits_.abort, handle_->handles);
    if (!operation.enlisted.Aborted())
        FtpCreateDirectoryW(handle_->connection, text::Utf8ToWide(name).c_str());
}

bool FtpConnection::Upload(const std::string& localPath, const std::string& name,
                           const SentBytes& sent) {
    if (!handle_)
        return false;
    const HANDLE local =
        CreateFileW(text::Utf8ToWide(localPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (local == INVALID_HANDLE_VALUE) {
        lastError_ = "cannot read " + localPath + ": " + inet::SystemText(GetLastError());
        return false;
    }
    struct LocalCloser {
        HANDLE handle;
        ~LocalCloser() { CloseHandle(handle); }
    } closeLocal{local};

    const Operation operation(limits_.abort, handle_->handles);
    auto fail = [&](const std::string& why) {
        lastError_ = operation.enlisted.Aborted() ? std::string(kStoppedText) : why;
        return false;
    };
    if (operation.enlisted.Aborted())
        return fail(kStoppedText);
    // The camera opens the data connection back to us when the file opens.
    const HINTERNET file =
        handle_->handles.Add(FtpOpenFileW(handle_->connection, text::Utf8ToWide(name).c_str(),
                                          GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_INTERNET_TIMEOUT || error == ERROR_INTERNET_CANNOT_CONNECT)
            return fail(kConnectBackText);
        SetLastError(error);
        return fail(FtpFailure(("STOR " + name).c_str()));
    }
    struct FileCloser {
        inet::HandleSet& handles;
        HINTERNET file;
        ~FileCloser() { handles.Close(file); }  // after a failure: the explicit close is below
    } closeFile{handle_->handles, file};
    uint64_t total = 0;
    char buffer[32768];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(local, buffer, sizeof buffer, &got, nullptr))
            return fail("cannot read " + localPath + ": " + inet::SystemText(GetLastError()));
        if (got == 0)
            break;
        for (DWORD at = 0; at < got;) {
            DWORD written = 0;
            if (operation.enlisted.Aborted() ||
                !InternetWriteFile(file, buffer + at, got - at, &written) || written == 0)
                return fail(FtpFailure(("STOR " + name).c_str()));
            at += written;
            total += written;
            if (sent)
                sent(total);
        }
    }
    // The server's answer to the whole file comes with the close; some
    // WinINet versions close happily over a refusal ("451 ...").
    const std::string before = ServerLastLine();
    if (!handle_->handles.Close(file))
        return fail(FtpFailure(("STOR " + name).c_str()));
    const std::string after = ServerLastLine();
    if (after != before && IsRefusal(after))
        return fail(after);
    return true;
}

}  // namespace vcq::ftp
