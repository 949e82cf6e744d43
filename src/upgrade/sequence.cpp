// The upgrade sequence of one camera on its worker thread: configuration
// saved, package uploaded, versionup ordered, the rebooted camera awaited,
// configuration restored.
#include <algorithm>
#include <cctype>

#include "platform/system.h"
#include "upgrade/camera_upgrade.h"

namespace vcq {
namespace {

constexpr auto kRestorePause = std::chrono::milliseconds(2000);
// A camera that refuses at once while it restarts is asked again after this,
// not in a tight loop.
constexpr auto kRefusedRetryPause = std::chrono::milliseconds(50);
// Nor is one that answers quickly without its version, or with the old one.
constexpr auto kPollPause = std::chrono::milliseconds(100);
constexpr int kMaxEmptyFtpEntries = 10;

// Sleeps in short slices so that an abandoned worker ends soon.
bool PauseUnlessAbandoned(const std::atomic<bool>& abandoned, std::chrono::milliseconds length) {
    auto end = std::chrono::steady_clock::now() + length;
    while (std::chrono::steady_clock::now() < end) {
        if (abandoned)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !abandoned;
}

// The first line of a reply, for failure details.
std::string StatusLine(std::string_view reply) {
    return std::string(reply.substr(0, std::min(reply.find("\r\n"), size_t{80})));
}

}  // namespace

bool ReadFtpAccount(std::string_view reply, std::string& user, std::string& password) {
    int emptyEntries = 0;
    for (size_t at = reply.find('=', 1); at != std::string_view::npos;
         at = reply.find('=', at + 1)) {
        if (at + 1 < reply.size() && reply[at + 1] == ',') {
            if (++emptyEntries >= kMaxEmptyFtpEntries)
                return false;
            continue;
        }
        size_t end = reply.find('&', at + 1);
        std::string_view value =
            reply.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
        size_t comma = value.find(',');
        user = std::string(value.substr(0, comma));
        password = comma == std::string_view::npos ? "" : std::string(value.substr(comma + 1));
        return !user.empty();
    }
    return false;
}

CameraUpgrade::~CameraUpgrade() {
    std::lock_guard lock(workerMutex_);
    if (worker_.joinable()) {
        // The last reference may be the worker's own.
        if (worker_.get_id() == std::this_thread::get_id())
            worker_.detach();
        else
            worker_.join();
    }
}

int CameraUpgrade::StartUpgrade(std::shared_ptr<ConfigBackup> savedBackup) {
    std::shared_ptr<CameraUpgrade> self = weak_from_this().lock();
    if (!self)
        return 0;
    std::lock_guard lock(workerMutex_);
    if (worker_.joinable() && !workerDone_)
        return 0;  // one upgrade at a time
    if (worker_.joinable())
        worker_.join();

    backup = std::move(savedBackup);
    wantBackup_ = backupWanted && *backupWanted != 0;
    deleteAfter_ = deleteAfterRestore && *deleteAfterRestore != 0;
    backupStamp_ = backupTime ? *backupTime : std::time(nullptr);
    models_ = modelNames ? modelNames->names : std::vector<std::string>{};
    abandoned_ = false;
    transfers = std::make_shared<JobTransfers>();
    SetFailureDetail({});
    workerDone_ = false;
    step = step::kUploading;
    worker_ = std::thread([self, abort = transfers->Abort()] {
        const AbortScope transfersObey(abort);
        self->RunUpgrade();
        self->workerDone_ = true;
    });
    sys::RaiseThreadPriority(worker_);  // above normal where the OS lets us
    return 1;
}

void CameraUpgrade::Abandon() {
    {
        std::lock_guard lock(stepMutex_);
        abandoned_ = true;
    }
    transfers->Abort()->Abort();  // a transfer under way ends within a second
}

void CameraUpgrade::SetStepListener(StepListener listener) {
    std::lock_guard lock(stepMutex_);
    stepListener_ = std::move(listener);
}

std::string CameraUpgrade::FailureDetail() const {
    std::lock_guard lock(stepMutex_);
    return failureDetail_;
}

std::string CameraUpgrade::SavedBackupPath() const {
    std::lock_guard lock(stepMutex_);
    return savedBackupPath_;
}

void CameraUpgrade::SetFailureDetail(std::string detail) {
    std::lock_guard lock(stepMutex_);
    if (!abandoned_)  // the owner has the last word, a tick-out's say
        failureDetail_ = std::move(detail);
}

bool CameraUpgrade::WaitForWorker(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!workerDone_) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool CameraUpgrade::SetStep(int32_t value) {
    std::lock_guard lock(stepMutex_);
    if (abandoned_)
        return false;
    step = value;
    if (stepListener_)
        stepListener_(value);
    return true;
}

void CameraUpgrade::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!abandoned_ && owner)
        owner->PostMessage(message, wParam, lParam);
}

void CameraUpgrade::ProgressReset(int32_t range) {
    if (abandoned_)
        return;
    if (progressCounter) {
        *progressCounter = 0;
    } else if (progressBar) {
        if (range > 0)
            progressBar->SetRange(0, range);
        progressBar->SetPosition(0);
    }
}

void CameraUpgrade::ProgressAdvance() {
    if (abandoned_)
        return;
    if (progressCounter)
        *progressCounter += 2;
    else if (progressBar)
        progressBar->Advance(1);
}

bool CameraUpgrade::EnableFtpServer() {
    CgiClient client(hostText, limits_);
    std::string reply = client.Exchange(
        BuildCgiRequest("/command/ftpserver.cgi", hostText, authToken, "FtpServerFunc=on"));
    if (reply.find("HTTP/1.1 204 No Content") == std::string::npos) {
        SetFailureDetail(reply.empty() ? client.FailureText()
                                       : "the camera answered \"" + StatusLine(reply) +
                                             "\" to FtpServerFunc=on");
        Stop("FtpServerFunc Error!");
        return false;
    }
    reply = Inquire(client, "inq=ftpuser");
    // Only the body holds the account: a header such as "Keep-Alive:
    // timeout=5" has its "=" too.
    size_t head = reply.find("\r\n\r\n");
    std::string_view body =
        head == std::string::npos ? std::string_view() : std::string_view(reply).substr(head + 4);
    if (!ReadFtpAccount(body, ftpUser, ftpPassword)) {
        SetFailureDetail(reply.empty() ? client.FailureText()
                                       : "the camera's reply to inq=ftpuser names no FTP account");
        Stop("FtpServerUser Error!!");
        return false;
    }
    return true;
}

bool CameraUpgrade::SendVersionUp() {
    CgiClient client(hostText, limits_);
    std::string reply = client.Exchange(
        BuildCgiRequest("/command/main.cgi", hostText, authToken, "System=versionup"));
    // A camera that restarts at once may drop its reply: only a whole reply
    // with another status, or a request that never reached it, is a refusal.
    bool sent = client.lastFailure() == ExchangeFailure::NotSent ||
                client.lastFailure() == ExchangeFailure::NoReply;
    if (reply.find("HTTP/1.1 204 No Content") != std::string::npos || (reply.empty() && sent)) {
        SetStep(step::kOverwriting);
        return true;
    }
    SetFailureDetail(reply.empty()
                         ? client.FailureText()
                         : "the camera answered \"" + StatusLine(reply) + "\" to System=versionup");
    Stop("VersionUp command Error!");
    return false;
}

void CameraUpgrade::ReportUploadFailure() {
    if (abandoned_)
        return;
    if (!silent && owner) {
        owner->KillTimer(TimerId());
        Stop("Ftp Error!");
        owner->SetTimer(TimerId(), kTickPeriodMs);
    }
    Post(kMsgGoToPage, 1, 3);
    SetStep(step::kUploadFailed);
}

void CameraUpgrade::ReportVersionUpResult() {
    if (step != step::kUploading || abandoned_)
        return;
    if (SendVersionUp())
        return;
    if (abandoned_)
        return;
    if (!silent && owner) {
        owner->KillTimer(TimerId());
        Stop("VersionUp Error!!");
        owner->SetTimer(TimerId(), kTickPeriodMs);
    }
    Post(kMsgGoToPage, 1, 3);
    SetStep(step::kVersionUpRefused);
}

void CameraUpgrade::RunUpgrade() {
    if (!backup && wantBackup_ && !models_.empty()) {
        if (!SetStep(step::kSavingConfig))
            return;
        backup =
            std::make_shared<ConfigBackup>(hostText, ConfigCameraPath(models_.front()), authToken,
                                           backupStamp_, models_.front(), serialText, deleteAfter_);
        if (!backup->Download()) {
            SetFailureDetail(backup->errorText);
            keepWorker = true;
            SetStep(step::kBackupFailed);
            return;
        }
        std::lock_guard lock(stepMutex_);
        savedBackupPath_ = backup->localPath;
    }
    if (!SetStep(step::kUploading))
        return;
    if (TransferPackage() != 0) {
        packageEntries.Clear();
        ReportUploadFailure();
        return;
    }
    ReportVersionUpResult();
    tickCount = 0;
    if (step == step::kOverwriting)
        WaitForRebootedCamera();
}

bool CameraUpgrade::WaitForRebootedCamera() {
    // "ver1.08" and "1.08" name the same version.
    std::string_view target = targetVersion;
    if (!target.empty() && target[0] == 'v')
        target.remove_prefix(std::min<size_t>(3, target.size()));

    // A camera may keep answering with its old firmware for a moment after
    // the versionup: until it has been seen going away, whatever version it
    // reports is the old firmware's (a camera already at the target version
    // reports that very version before it restarts).
    bool seenAway = false;
    while (step == step::kOverwriting) {
        if (abandoned_)
            return false;
        CgiClient client(hostText, limits_);
        auto asked = std::chrono::steady_clock::now();
        std::string reply = Inquire(client, "inq=sysinfo");
        if (reply.empty()) {
            seenAway = true;
            if (std::chrono::steady_clock::now() - asked < kRefusedRetryPause)
                PauseUnlessAbandoned(abandoned_, kRefusedRetryPause);
            continue;
        }
        if (reply.find("SoftVersion=") == std::string::npos) {
            PauseUnlessAbandoned(abandoned_, kPollPause);
            continue;
        }
        if (abandoned_)
            return false;
        if (!seenAway) {
            PauseUnlessAbandoned(abandoned_, kPollPause);
            continue;
        }
        ReadSoftVersion(reply);
        if (currentVersion != target) {
            SetFailureDetail("the camera came back with " + currentVersion + ", expected " +
                             std::string(target));
            return SetStep(step::kWrongVersion);
        }
        int32_t outcome = step::kCompleted;
        if (backup) {
            RestoreBackup();
            if (!PauseUnlessAbandoned(abandoned_, kRestorePause))
                return false;
            if (!SetStep(step::kReconfiguring))
                return false;
            if (!PauseUnlessAbandoned(abandoned_, kRestorePause))
                return false;
            // The batch has no page flow to tell the operator: its row says
            // the configuration is not back, and where the file is.
            if (progressCounter && !backup->restored) {
                std::string why = FailureDetail();
                SetFailureDetail((why.empty() ? "" : why + "; ") +
                                 "the saved configuration is kept in " + backup->localPath);
                outcome = step::kNotRestored;
            }
            if (progressCounter)
                backup.reset();
        }
        return SetStep(outcome);
    }
    return false;
}

void CameraUpgrade::RestoreBackup() {
    CgiClient restorer(hostText, limits_);
    std::vector<char> buffer;
    // A configuration that cannot be read back whole is not sent: half a
    // configuration is worse than the factory one.
    if (!backup->ReadBack(buffer)) {
        SetFailureDetail(backup->errorText);
        return;
    }
    restorer.SetRestoreData(buffer.data(), static_cast<uint32_t>(buffer.size()));
    if (restorer.RestoreConfiguration() == 0) {
        backup->restored = true;
        backup->DeleteFileIfWanted();
    } else {
        SetFailureDetail(restorer.restoreError());
    }
}

void CameraUpgrade::OnTick(uint32_t timerId) {
    if (timerId != TimerId())
        return;
    if (tickCount++ != kTickLimit)
        return;

    // Stop the worker cooperatively: it notices at its next round and ends.
    {
        std::lock_guard lock(stepMutex_);
        if (IsFinalStep(step))
            return;  // the worker ended just before: its outcome stands
        abandoned_ = true;
        transfers->Abort()->Abort();
        if (progressCounter)
            step = step::kWrongVersion;
        failureDetail_ = "the camera was not back with the new version within " +
                         std::to_string(kTickLimit / 60) + " minutes";
    }
    if (owner)
        owner->KillTimer(TimerId());
    if (!progressCounter) {
        if (!silent && owner) {
            std::string text = LoadUiText(206, owner);
            std::string caption = LoadUiText(203, owner);
            owner->MessageBox(text, caption, MessageIcon::Stop, MessageButtons::Ok);
        }
        if (owner)
            owner->PostMessage(kMsgGoToPage, 1, 3);
    }
    if (!keepWorker) {
        std::lock_guard lock(workerMutex_);
        if (worker_.joinable())
            worker_.detach();  // it holds its own reference
    }
}

}  // namespace vcq
