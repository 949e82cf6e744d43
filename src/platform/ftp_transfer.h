// FTP through libcurl's easy interface, the way old camera FTP servers expect
// it: active mode with PORT (no EPRT), binary, explicit CWD and MKD commands,
// STOR into the current folder without libcurl's own CWD. One FtpConnection
// is one control connection.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/transfer_abort.h"

namespace vcq::ftp {

struct FtpLimits {
    std::chrono::milliseconds connect{10000};
    std::chrono::milliseconds stall{60000};  // no byte moved for this long
    // Stops the connection's commands and uploads; none: the thread's own.
    std::shared_ptr<TransferAbort> abort = nullptr;
};

// Why an upload failed when the camera could not open the data connection
// back to this PC (active mode).
inline constexpr const char* kConnectBackText =
    "the camera could not connect back to this PC for the FTP data connection; the firewall "
    "must let this program in";
// Why an operation failed when its abort stopped it.
inline constexpr const char* kStoppedText = "stopped";

class FtpConnection {
  public:
    FtpConnection(std::string host, uint16_t port, std::string user, std::string password,
                  FtpLimits limits = {});
    ~FtpConnection();  // closes the connection
    FtpConnection(const FtpConnection&) = delete;
    FtpConnection& operator=(const FtpConnection&) = delete;

    // Connects and logs in.
    bool Open();
    // "CWD path"; the path goes out as given ("C:\web\home").
    bool ChangeFolder(const std::string& path);
    // "MKD name"; true also when the server refused it.
    void CreateFolderIgnoringFailure(const std::string& name);
    // "STOR name" of a local file into the current folder, binary;
    // `sent`, when given, hears how many bytes of it went out so far.
    using SentBytes = std::function<void(uint64_t bytes)>;
    bool Upload(const std::string& localPath, const std::string& name, const SentBytes& sent = {});
    // Sends QUIT and closes; Open may be called again.
    void Close();

    // Why the last operation failed, empty after one that succeeded: the
    // server's refusal line as it sent it ("550 a.bin: Permission denied."),
    // "the camera dropped the connection (...)" when the connection broke
    // with no refusal, or else what kept the operation from the server.
    const std::string& lastError() const { return lastError_; }

  private:
    void Prepare(const std::string& url);
    void Fail(int code);  // sets lastError_ from a failed transfer's code
    // Runs the prepared operation under the abort: its code.
    int Perform(const SentBytes* sent = nullptr);
    bool Command(const std::string& command, bool ignoreFailure);

    struct Handle;
    std::unique_ptr<Handle> handle_;
    std::string host_;
    uint16_t port_;
    std::string user_;
    std::string password_;
    FtpLimits limits_;
    std::string lastError_;
};

}  // namespace vcq::ftp
