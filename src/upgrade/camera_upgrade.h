// One camera's inquiry and upgrade object: the checks that decide whether the
// camera may be upgraded, and (with its worker thread) the upgrade itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "package/resources.h"
#include "platform/window_port.h"
#include "protocol/cgi_client.h"

namespace vcq {

// Step codes: progress and outcome of one camera. A step above 7 is final.
namespace step {
inline constexpr int32_t kNotStarted = 0;
inline constexpr int32_t kSavingConfig = 1;
inline constexpr int32_t kUploading = 2;
inline constexpr int32_t kOverwriting = 3;
inline constexpr int32_t kReconfiguring = 7;
inline constexpr int32_t kCompleted = 8;
inline constexpr int32_t kVersionUpRefused = 9;
inline constexpr int32_t kWrongVersion = 10;
inline constexpr int32_t kUploadFailed = 12;
inline constexpr int32_t kBackupFailed = 14;
}  // namespace step

inline constexpr size_t kMaxModelNames = 10;
inline constexpr uint64_t kMinBuiltInFree = 5242880;  // 5 MiB for the package

class CameraUpgrade {
  public:
    // Manual mode passes index 0, not silent and no backup settings; the batch
    // engine passes its row, silent, and pointers to its own settings.
    CameraUpgrade(std::string_view hostText, const ModelList* modelNames,
                  std::string_view authToken, std::string_view targetVersion,
                  std::string_view serialText, const int32_t* backupWanted,
                  const int32_t* deleteAfterRestore, const std::time_t* backupTime,
                  WindowPort* owner, int32_t index, bool silent);
    virtual ~CameraUpgrade() = default;
    CameraUpgrade(const CameraUpgrade&) = delete;
    CameraUpgrade& operator=(const CameraUpgrade&) = delete;

    // The full check before an upgrade; the first failure ends it.
    bool CheckPreconditions(bool& lowMemory, std::string* serial);
    bool CheckAdministrator(std::string_view reply);
    bool CheckModel(std::string_view reply);
    bool CheckImageMemory(std::string_view reply);
    bool CheckBuiltInSpace(std::string_view reply);

    // List-oriented inquiries.
    bool InquireSysinfo();
    bool InquireSysuser();
    bool ReplyIsOk(std::string_view reply, int32_t& indexOut) const;
    bool InquireMacAddress(std::string& mac);
    bool ParseIdentity(std::string_view reply, int32_t& indexOut, std::string& model,
                       std::string& version, std::string& serial) const;
    bool ReadSoftVersion(std::string_view reply);

    // Exchange bounds of every client this object makes (tests shorten them).
    void SetExchangeLimits(const ExchangeLimits& limits) { limits_ = limits; }

    std::atomic<int32_t> step{step::kNotStarted};
    int32_t index = 0;
    const int32_t* backupWanted = nullptr;
    const int32_t* deleteAfterRestore = nullptr;
    const std::time_t* backupTime = nullptr;
    std::string serialText;
    std::string hostText;
    const ModelList* modelNames = nullptr;
    std::string authToken;
    std::string ftpUser;
    std::string ftpPassword;
    std::string targetVersion;
    std::string currentVersion;
    std::string currentVersionTag;
    WindowPort* owner = nullptr;
    WindowPort* mainWindow = nullptr;
    std::string sysinfoText;
    std::string sysuserText;
    bool answered = false;
    bool silent = false;

  protected:
    std::string Inquire(CgiClient& client, std::string_view body) const;
    void Warn(const std::string& text) const;
    void Stop(const std::string& text) const;

    ExchangeLimits limits_;
};

// Reply reading: plain, case-sensitive substring search over the whole reply.
// The value of a key runs from after its "=" to the next "&"; empty when no
// "&" follows. Nullopt when the key is absent.
std::optional<std::string_view> KeyValue(std::string_view reply, std::string_view key);
// The same, but a value without a following "&" runs to the end of the reply.
std::optional<std::string_view> KeyValueToEnd(std::string_view reply, std::string_view key);

}  // namespace vcq
