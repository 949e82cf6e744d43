// The camera inquiries and the checks before an upgrade.
#include <algorithm>

#include "platform/files.h"
#include "upgrade/camera_upgrade.h"

namespace vcq {
namespace {

constexpr const char* kCaption = "Information";

constexpr const char* kNoCamera = "Cannot find the camera. (The camera may be turned off.)";
constexpr const char* kBadLogin =
    "Please enter correct user name and password for the administrator.";
constexpr const char* kNotAdministrator =
    "Level 4 users other than Administrator cannot run the program.";
constexpr const char* kImageMemoryOn = "Please disable \"Image Memory\" function.";
constexpr const char* kLowSpace = "There is not enough free space in the built-in memory.";
constexpr const char* kTooLarge = "The camera's reply is too large to be read.";

}  // namespace

std::string_view PlainVersion(std::string_view version) {
    return version.starts_with("ver") ? version.substr(3) : version;
}

bool IsPlainVersion(std::string_view version) {
    size_t dot = version.find('.');
    auto digits = [](std::string_view part) {
        return !part.empty() &&
               std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return dot != std::string_view::npos && digits(version.substr(0, dot)) &&
           digits(version.substr(dot + 1));
}

std::string AgreedVersion(std::string_view header, std::string_view softVersion, std::string& why) {
    const bool agree = header.empty() || softVersion.empty() || header == softVersion;
    const std::string_view version = header.empty() ? softVersion : header;
    if (agree && IsPlainVersion(version))
        return std::string(version);
    why = "the camera's versions cannot be trusted: \"Server:\" header \"" +
          EscapeControls(header) + "\", sysinfo SoftVersion \"" + EscapeControls(softVersion) +
          "\"";
    return {};
}

std::string EscapeControls(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (byte < 0x20 || byte == 0x7f)
            out += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 15];
        else
            out += c;
    }
    return out;
}

CameraEnd EscapedEnd(CameraEnd end) {
    for (std::string* text : {&end.reason, &end.versionBefore, &end.versionAfter})
        *text = EscapeControls(*text);
    return end;
}

std::string WithKeptFile(std::string reason, const std::string& keptFile) {
    if (!keptFile.empty() && reason.find(keptFile) == std::string::npos)
        reason += (reason.empty() ? "" : "; ") +
                  std::string("the saved configuration is kept in ") + keptFile;
    return reason;
}

std::string CameraUpgrade::Inquire(CgiClient& client, std::string_view body) const {
    return client.Exchange(
        BuildCgiRequest(kInquiryPath, settings_.hostText, settings_.authToken, body));
}

void CameraUpgrade::Warn(const std::string& text) {
    if (silent) {
        // A more precise reason found first (why no reply came) stands.
        std::lock_guard lock(stepMutex_);
        if (failureDetail_.empty() && !abandoned_)
            failureDetail_ = text;
    } else if (owner && !abandoned_) {  // a check let go tells nobody
        owner->MessageBox(text, kCaption, MessageIcon::Exclamation, MessageButtons::Ok);
    }
}

void CameraUpgrade::Stop(const std::string& text) const {
    if (!silent && owner && !abandoned_)
        owner->MessageBox(text, kCaption, MessageIcon::Stop, MessageButtons::Ok);
}

bool CameraUpgrade::CheckPreconditions(bool& lowMemory, std::string* serial,
                                       const std::function<bool()>& gates) {
    const auto started = std::chrono::steady_clock::now();
    struct Timed {
        CameraUpgrade& job;
        std::chrono::steady_clock::time_point started;
        ~Timed() {
            std::lock_guard lock(job.stepMutex_);
            job.outcome_.phaseTimes[static_cast<size_t>(Phase::Check)] =
                std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - started);
        }
    } timed{*this, started};
    lowMemory = false;
    CgiClient client(settings_.hostText, limits_);
    if (!CheckIdentity(client, serial) || (gates && !gates()))
        return false;

    std::string reply = Inquire(client, "inq=imagememory");
    if (!CheckImageMemory(reply))
        return reply.find("ImageMemoryFunc=") == std::string::npos
                   ? Unreadable(client, reply, "inq=imagememory", "ImageMemoryFunc=")
                   : false;

    reply = Inquire(client, "inq=builtin");
    if (!CheckBuiltInSpace(reply)) {
        lowMemory = true;
        if (reply.find("BuiltIn=Free space : ") == std::string::npos)
            Unreadable(client, reply, "inq=builtin", "BuiltIn=Free space");
        return false;
    }
    return true;
}

// A check that fails without a message to the operator still says why.
bool CameraUpgrade::Unreadable(const CgiClient& client, const std::string& reply, const char* topic,
                               const char* key) {
    SetFailureDetail(reply.empty()
                         ? client.FailureText()
                         : std::string("the camera's reply to ") + topic + " holds no " + key);
    return false;
}

bool CameraUpgrade::CheckIdentity(CgiClient& client, std::string* serial) {
    loginRefused = notAdministrator_ = false;
    SetFailureDetail({});
    std::string reply = Inquire(client, "inq=sysuser");
    // Whatever it says next, only an empty reply is a silent camera.
    unanswered = reply.empty();
    if (reply.empty()) {
        SetFailureDetail(client.FailureText());
        Warn(client.lastFailure() == ExchangeFailure::TooLarge ? kTooLarge : kNoCamera);
        return false;
    }
    if (!CheckAdministrator(reply))
        return reply.find("401 Unauthorized") == std::string::npos &&
                       reply.find("SysUserSet=") == std::string::npos
                   ? Unreadable(client, reply, "inq=sysuser", "SysUserSet=")
                   : false;

    const std::string header = client.serverVersion();

    sysinfoText = Inquire(client, "inq=sysinfo");
    if (sysinfoText.empty())
        Unreadable(client, sysinfoText, "inq=sysinfo", "ModelName=");
    if (!CheckModel(sysinfoText))
        return false;
    // Two sources of one version: a camera they disagree on is not flashed.
    std::string why;
    currentVersion =
        AgreedVersion(header, KeyValueToEnd(sysinfoText, "SoftVersion=").value_or(""), why);
    {
        // What the camera ran when its own check read it, for the records.
        std::lock_guard lock(stepMutex_);
        outcome_.versionBefore = currentVersion;
    }
    if (currentVersion.empty()) {
        Warn(why);
        return false;
    }
    if (serial)
        *serial = std::string(KeyValue(sysinfoText, "Serial=").value_or(""));
    return true;
}

bool CameraUpgrade::CheckAdministrator(std::string_view reply) {
    if (reply.find("401 Unauthorized") != std::string_view::npos) {
        loginRefused = true;
        Warn(kBadLogin);
        return false;
    }
    size_t at = reply.find("SysUserSet=");
    if (at == std::string_view::npos)
        return false;
    size_t start = at + 11;
    size_t end = reply.find(',', start);
    std::string_view first = reply.substr(start, end == std::string_view::npos ? end : end - start);
    if (first != settings_.authToken) {
        loginRefused = notAdministrator_ = true;
        Warn(kNotAdministrator);
        return false;
    }
    return true;
}

bool IsSupportedModel(std::string_view model, const ModelList* models) {
    if (model.empty() || !models)
        return false;
    const auto& names = models->names;
    const size_t count = std::min(names.size(), kMaxModelNames);
    return std::find(names.begin(), names.begin() + count, model) != names.begin() + count;
}

bool CameraUpgrade::CheckModel(std::string_view reply) {
    std::string model(KeyValue(reply, "ModelName=").value_or(""));
    if (!IsSupportedModel(model, &settings_.models)) {
        Warn("This program works for the " + EscapeControls(model) +
             ". Please select the correct camera.");
        return false;
    }
    return true;
}

bool CameraUpgrade::CheckImageMemory(std::string_view reply) {
    size_t at = reply.find("ImageMemoryFunc=");
    if (at == std::string_view::npos)
        return false;
    size_t second = at + 16 + 1;  // "on" has its n there, "off" an f
    if (second < reply.size() && reply[second] == 'n') {
        Warn(kImageMemoryOn);
        return false;
    }
    return true;
}

bool CameraUpgrade::CheckBuiltInSpace(std::string_view reply) {
    static constexpr std::string_view kKey = "BuiltIn=Free space : ";
    size_t at = reply.find(kKey);
    if (at == std::string_view::npos)
        return false;
    size_t i = at + kKey.size();
    while (i < reply.size() && (reply[i] == ' ' || reply[i] == '\t'))
        ++i;
    uint64_t freeBytes = 0;
    for (; i < reply.size() && reply[i] >= '0' && reply[i] <= '9'; ++i) {
        freeBytes = freeBytes * 10 + static_cast<uint64_t>(reply[i] - '0');
        if (freeBytes >= kMinBuiltInFree)
            break;  // enough; also stops overflow
    }
    if (freeBytes < kMinBuiltInFree) {
        Warn(kLowSpace);
        return false;
    }
    return true;
}

bool CameraUpgrade::InquireSysinfo() {
    CgiClient client(settings_.hostText, limits_);
    sysinfoText = Inquire(client, "inq=sysinfo");
    unanswered = sysinfoText.empty();
    return CheckModel(sysinfoText);
}

bool CameraUpgrade::InquireSysuser() {
    CgiClient client(settings_.hostText, limits_);
    sysuserText = Inquire(client, "inq=sysuser");
    unanswered = sysuserText.empty();
    if (unanswered) {
        Warn(kNoCamera);
        return false;
    }
    return CheckAdministrator(sysuserText);
}

bool CameraUpgrade::ReplyIsOk(std::string_view reply, int32_t& indexOut) const {
    indexOut = index;
    return reply.find("200 OK") != std::string_view::npos;
}

bool CameraUpgrade::InquireMacAddress(std::string& mac) {
    CgiClient client(settings_.hostText, limits_);
    mac = ReadMacAddress(Inquire(client, "inq=tcpip"));
    return !mac.empty();
}

// Fields the reply lacks keep what the caller had.
bool CameraUpgrade::ParseIdentity(std::string_view reply, int32_t& indexOut, std::string& model,
                                  std::string& version, std::string& serial) const {
    indexOut = index;
    CameraIdentity identity = ReadIdentity(reply);
    if (!identity.model.empty())
        model = std::move(identity.model);
    if (!identity.version.empty())
        version = std::move(identity.version);
    if (!identity.serial.empty())
        serial = std::move(identity.serial);
    return !model.empty();
}

bool CameraUpgrade::ReadSoftVersion(std::string_view reply) {
    auto value = KeyValueToEnd(reply, "SoftVersion=");
    if (!value)
        return false;
    currentVersion = std::string(*value);
    return true;
}

}  // namespace vcq

namespace vcq {

bool CameraUpgrade::CheckBeforeRestore(bool& notAtTarget, std::string* serialOut) {
    notAtTarget = false;
    unanswered = false;
    const std::string& kept = settings_.retry.keptFile;
    if (kept.empty() || !files::FileExists(kept)) {
        SetFailureDetail(kept.empty() ? "no saved configuration is left to send back"
                                      : "the saved configuration " + kept + " is gone");
        return false;
    }
    CgiClient client(settings_.hostText, limits_);
    std::string serial;
    if (!CheckIdentity(client, &serial))
        return false;
    if (serialOut)
        *serialOut = serial;
    // The file names the camera it came from: never another camera's settings.
    const std::string model = settings_.models.names.empty() ? "" : settings_.models.names.front();
    if (!IsBackupFileOf(kept, model, serial)) {
        SetFailureDetail(kept + " was not saved from this camera (serial " +
                         EscapeControls(serial) + "): its configuration was not sent");
        return false;
    }
    const std::string target(PlainVersion(settings_.targetVersion));
    if (PlainVersion(currentVersion) != target) {
        notAtTarget = true;
        SetFailureDetail("the camera reports " + EscapeControls(currentVersion) + ", not " +
                         target + ": its configuration was not sent");
        return false;
    }
    return true;
}

}  // namespace vcq
