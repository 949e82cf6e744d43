// The upgrade sequence of one camera on its worker thread: configuration
// saved, package uploaded, versionup ordered, the rebooted camera awaited,
// configuration restored.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/files.h"
#include "platform/system.h"
#include "upgrade/camera_upgrade.h"
#include "upgrade/manual_flow.h"
#include "upgrade/phase_table.h"
#include "upgrade/upload_run.h"

namespace vcq {
namespace {

// A camera that refuses at once while it restarts is asked again after this,
// not in a tight loop.
constexpr auto kRefusedRetryPause = std::chrono::milliseconds(50);

// Sleeps in short slices so that an abandoned worker ends soon. Each slice
// ends at a point fixed from the start, so the pause is not lengthened by
// every wake-up's delay, nor by a last slice past its end.
bool PauseUnlessAbandoned(const std::atomic<bool>& abandoned, std::chrono::milliseconds length) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + length;
    for (auto next = Clock::now(); next < end;) {
        if (abandoned)
            return false;
        next = std::min(next + std::chrono::milliseconds(20), end);
        std::this_thread::sleep_until(next);
    }
    return !abandoned;
}

// The first line of a reply, for failure details.
std::string StatusLine(std::string_view reply) {
    return std::string(reply.substr(0, std::min(reply.find("\r\n"), size_t{80})));
}

bool FileExists(const std::string& path) {
    return !path.empty() && files::FileExists(path);
}

}  // namespace

// The worker holds the job: nothing runs for it once it goes.
CameraUpgrade::CameraUpgrade(JobSettings settings, std::shared_ptr<WindowPort> ownerWindow,
                             int32_t rowIndex, bool isSilent)
    : index(rowIndex),
      owner(std::move(ownerWindow)),
      silent(isSilent),
      settings_(std::move(settings)) {
    // A retry's kept file stays named whatever becomes of the job.
    if (RestoresKeptFile(settings_.retry))
        savedBackupPath_ = settings_.retry.keptFile;
}

CameraUpgrade::~CameraUpgrade() = default;

int CameraUpgrade::StartUpgrade(std::shared_ptr<ConfigBackup> savedBackup) {
    return StartWorker(std::move(savedBackup), false);
}

std::shared_ptr<ConfigBackup> CameraUpgrade::KeptBackup(std::string* error) const {
    const std::string model = settings_.models.names.empty() ? "" : settings_.models.names.front();
    auto kept = std::make_shared<ConfigBackup>(settings_.hostText, ConfigCameraPath(model),
                                               settings_.authToken, settings_.startTime, model,
                                               settings_.serial, settings_.deleteAfterRestore);
    if (kept->Adopt(settings_.retry.keptFile))
        return kept;
    if (error)
        *error = kept->errorText;
    return nullptr;
}

int CameraUpgrade::StartRestore() {
    std::string error;
    if (std::shared_ptr<ConfigBackup> kept = KeptBackup(&error))
        return StartWorker(std::move(kept), true);
    // Nothing to send: the camera stays upgraded without its configuration.
    Finish(step::kNotRestored, error);
    return 0;
}

int CameraUpgrade::StartWorker(std::shared_ptr<ConfigBackup> savedBackup, bool restoreOnly) {
    std::shared_ptr<CameraUpgrade> self = weak_from_this().lock();
    if (!self)
        return 0;
    std::lock_guard lock(workerMutex_);
    if (worker_.Running())
        return 0;  // one upgrade at a time

    backup = std::move(savedBackup);
    if (settings_.startTime == 0)
        settings_.startTime = std::time(nullptr);
    // The owner's texts are for its own thread.
    timeoutText_ = !silent && owner && !progressCounter ? LoadUiText(206, owner.get()) : "";
    abandoned_ = false;
    transfers = std::make_shared<JobTransfers>();
    SetFailureDetail({});
    {
        std::lock_guard stepLock(stepMutex_);
        const auto checkTime = outcome_.phaseTimes[static_cast<size_t>(Phase::Check)];
        outcome_ = {};
        outcome_.phaseTimes[static_cast<size_t>(Phase::Check)] = checkTime;
        savedBackupPath_ = backup ? backup->localPath : "";
        phase_ = restoreOnly ? Phase::Restore : Phase::Prepare;
        phaseStart_ = std::chrono::steady_clock::now();
        // The worker's first step, so that the steps shown only move forward;
        // under the lock, as every later write.
        step = restoreOnly ? step::kReconfiguring
               : !backup && settings_.retain && !settings_.models.names.empty()
                   ? step::kSavingConfig
                   : step::kUploading;
    }
    worker_ = DetachedWork<bool>::Start([self, restoreOnly, abort = transfers->Abort()] {
        sys::RaiseThisThreadPriority();  // above normal where the OS lets us
        const AbortScope transfersObey(abort);
        if (restoreOnly) {
            std::lock_guard lock(self->stepMutex_);
            self->outcome_.versionBefore = self->outcome_.versionAfter =
                std::string(PlainVersion(self->currentVersion));
        }
        self->RunPhases(restoreOnly ? Phase::Restore : Phase::SaveConfiguration);
        return true;
    });
    return 1;
}

void CameraUpgrade::Abandon() {
    {
        std::lock_guard lock(stepMutex_);
        abandoned_ = true;
    }
    transfers->Abort()->Abort();  // a transfer under way ends within a second
}

bool CameraUpgrade::Stop(int32_t finalStep, std::string reason) {
    bool wrote = false;
    {
        std::lock_guard lock(stepMutex_);
        if (!IsFinalStep(step))
            wrote = Finish(finalStep, std::move(reason));
        abandoned_ = true;
    }
    transfers->Abort()->Abort();
    return wrote;
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

CameraEnd CameraUpgrade::Outcome() const {
    std::lock_guard lock(stepMutex_);
    CameraEnd outcome = outcome_;
    if (!IsFinalStep(outcome.finalStep)) {
        outcome.reason = failureDetail_;
        outcome.keptFile = FileExists(savedBackupPath_) ? savedBackupPath_ : "";
    }
    return outcome;
}

void CameraUpgrade::SetSaveChoice(bool retain, bool deleteAfterRestore, std::time_t startTime) {
    settings_.retain = retain;
    settings_.deleteAfterRestore = deleteAfterRestore;
    settings_.startTime = startTime;
}

bool CameraUpgrade::EnterPhase(Phase phase) {
    std::lock_guard lock(stepMutex_);
    TimePhase(phase);
    const int32_t entered = PhaseRowOf(phase).step;
    return entered == kKeepStep ? !abandoned_ : SetStep(entered);
}

void CameraUpgrade::TimePhase(Phase phase) {
    std::lock_guard lock(stepMutex_);
    const auto now = std::chrono::steady_clock::now();
    // Before the worker's first phase only the check counts (it times itself).
    if (phaseStart_ != std::chrono::steady_clock::time_point{})
        outcome_.phaseTimes[static_cast<size_t>(phase_)] +=
            std::chrono::duration_cast<std::chrono::milliseconds>(now - phaseStart_);
    phase_ = phase;
    phaseStart_ = now;
}

bool CameraUpgrade::Finish(int32_t finalStep, std::string reason) {
    std::lock_guard lock(stepMutex_);
    if (abandoned_)
        return false;
    TimePhase(phase_);
    // A failure after the save leaves the configuration on disk: say where.
    const std::string kept = FileExists(savedBackupPath_) ? savedBackupPath_ : "";
    if (finalStep != step::kCompleted || !reason.empty())
        reason = WithKeptFile(std::move(reason), kept);
    outcome_.finalStep = finalStep;
    outcome_.outcome = finalStep == step::kCompleted     ? BatchOutcome::Completed
                       : finalStep == step::kNotRestored ? BatchOutcome::ConfigNotRestored
                                                         : BatchOutcome::Failed;
    outcome_.keptFile = kept;
    outcome_.reason = reason;
    outcome_.restored = backup && backup->restored;
    failureDetail_ = std::move(reason);
    return SetStep(finalStep);
}

bool CameraUpgrade::Fail(std::string reason) {
    std::lock_guard lock(stepMutex_);
    return Finish(PhaseRowOf(phase_).failStep, std::move(reason));
}

void CameraUpgrade::SetFailureDetail(std::string detail) {
    std::lock_guard lock(stepMutex_);
    if (!abandoned_)  // the owner has the last word, a tick-out's say
        failureDetail_ = std::move(detail);
}

bool CameraUpgrade::WaitForWorker(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    const DetachedWork<bool> worker = [this] {
        std::lock_guard lock(workerMutex_);
        return worker_;
    }();
    while (worker.Running()) {
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
    EnterPhase(Phase::EnableFtp);
    CgiClient client(settings_.hostText, limits_);
    std::string reply = client.Exchange(BuildCgiRequest(
        "/command/ftpserver.cgi", settings_.hostText, settings_.authToken, "FtpServerFunc=on"));
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
    EnterPhase(Phase::VersionUp);
    CgiClient client(settings_.hostText, limits_);
    std::string reply = client.Exchange(BuildCgiRequest("/command/main.cgi", settings_.hostText,
                                                        settings_.authToken, "System=versionup"));
    // A camera that restarts at once may drop its reply: only a whole reply
    // with another status, or a request that never reached it, is a refusal.
    bool sent = client.lastFailure() == ExchangeFailure::NotSent ||
                client.lastFailure() == ExchangeFailure::NoReply;
    if (reply.find("HTTP/1.1 204 No Content") != std::string::npos || (reply.empty() && sent)) {
        {
            std::lock_guard lock(stepMutex_);
            outcome_.versionUpSent = outcome_.flashed = true;
            outcome_.versionUpAt = std::time(nullptr);
        }
        EnterPhase(Phase::WaitGone);
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
        Stop("Ftp Error!");
    }
    Post(kMsgGoToPage, 1, 3);
    Fail(FailureDetail());
}

void CameraUpgrade::ReportVersionUpResult() {
    if (step != step::kUploading || abandoned_)
        return;
    if (SendVersionUp())
        return;
    if (abandoned_)
        return;
    if (!silent && owner) {
        Stop("VersionUp Error!!");
    }
    Post(kMsgGoToPage, 1, 3);
    Fail(FailureDetail());
}

void CameraUpgrade::RunPhases(Phase first) {
    for (std::optional<Phase> done = RunPhase(first);
         done && PhaseRowOf(*done).next != Phase::Ended; done = RunPhase(PhaseRowOf(*done).next)) {
    }
    upload_.reset();  // however the job ended
}

std::optional<Phase> CameraUpgrade::RunPhase(Phase phase) {
    switch (phase) {
        case Phase::Check:  // run by the owner before the worker starts
            return phase;
        case Phase::SaveConfiguration:
            return SaveConfiguration() ? std::optional(phase) : std::nullopt;
        case Phase::Prepare:
            if (!EnterPhase(Phase::Prepare))
                return std::nullopt;
            return AfterUploadPhase(phase, PreparePackage());
        case Phase::EnableFtp:
            return AfterUploadPhase(phase, OpenFtp());
        case Phase::AwaitTurn:
            return AfterUploadPhase(phase, AwaitUploadTurn());
        case Phase::Upload:
            return AfterUploadPhase(phase, UploadPackage());
        case Phase::VersionUp:
            ReportVersionUpResult();
            return step == step::kOverwriting ? std::optional(phase) : std::nullopt;
        case Phase::WaitGone:
        case Phase::WaitBack:
            return WaitForRebootedCamera() ? std::optional(Phase::WaitBack) : std::nullopt;
        case Phase::Restore:
            if (!backup) {
                Finish(step::kCompleted, "");
                return std::nullopt;
            }
            RestoreBackup();
            return PauseUnlessAbandoned(abandoned_, phaseLimits_.restorePause)
                       ? std::optional(phase)
                       : std::nullopt;
        case Phase::Apply:
            ApplyRestored();
            return std::nullopt;
        case Phase::Ended:
            break;
    }
    return std::nullopt;
}

bool CameraUpgrade::SaveConfiguration() {
    const std::vector<std::string>& models = settings_.models.names;
    if (backup || !settings_.retain || models.empty())
        return true;  // handed over, or not asked for
    if (!EnterPhase(Phase::SaveConfiguration))
        return false;
    auto saving = std::make_shared<ConfigBackup>(
        settings_.hostText, ConfigCameraPath(models.front()), settings_.authToken,
        settings_.startTime, models.front(), settings_.serial, settings_.deleteAfterRestore);
    {
        // An owner's Stop reads it to write the end.
        std::lock_guard lock(stepMutex_);
        backup = saving;
    }
    if (!backup->Download()) {
        Fail(backup->errorText);
        return false;
    }
    std::lock_guard lock(stepMutex_);
    savedBackupPath_ = backup->localPath;
    return true;
}

namespace {

// Gone: no connection could be made, or it was cut before any reply. A
// connection accepted and answered late is a camera still up.
bool CameraGone(const CgiClient& client) {
    switch (client.lastFailure()) {
        case ExchangeFailure::NoConnection:
        case ExchangeFailure::NotSent:
            return true;
        case ExchangeFailure::NoReply:
            return client.CutBeforeReply();
        default:
            return false;
    }
}

// Gone is a silence that lasts: every request failing as a camera that is
// away fails, for at least `goneAfter`. One cut connection while the old
// firmware writes the new one is not a restart.
class Silence {
  public:
    using Clock = std::chrono::steady_clock;
    explicit Silence(std::chrono::milliseconds goneAfter) : goneAfter_(goneAfter) {}
    // One request asked at `asked`: true once the camera counts as gone.
    bool Note(const CgiClient& client, const std::string& reply, Clock::time_point asked) {
        if (!reply.empty() || !CameraGone(client)) {
            silent_ = false;  // it answered, or took the connection: still up
        } else if (!silent_) {
            silent_ = true;
            since_ = asked;
        } else if (Clock::now() - since_ >= goneAfter_) {
            gone_ = true;
        }
        return gone_;
    }

  private:
    std::chrono::milliseconds goneAfter_;
    bool silent_ = false;
    bool gone_ = false;
    Clock::time_point since_{};
};

}  // namespace

bool CameraUpgrade::WaitForRebootedCamera() {
    const std::string target(PlainVersion(settings_.targetVersion));
    const std::string before(PlainVersion(currentVersion));
    {
        std::lock_guard lock(stepMutex_);
        outcome_.versionBefore = before;
    }
    // Re-flashing the same version (or an unknown one): only a camera seen
    // restarting is back.
    const bool sameVersion = before.empty() || before == target;
    if (CurrentPhase() != Phase::WaitGone)  // else entered at the versionup's yes
        TimePhase(Phase::WaitGone);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + phaseLimits_.*PhaseRowOf(Phase::WaitGone).bound;
    Silence silence(phaseLimits_.goneAfter);
    bool seenGone = false;
    std::string lastVersion;
    std::string untrusted;  // why the last answer's versions could not be read
    while (Clock::now() < deadline) {
        if (abandoned_)
            return false;
        CgiClient client(settings_.hostText, limits_);
        const auto asked = Clock::now();
        const std::string reply = Inquire(client, "inq=sysinfo");
        if (silence.Note(client, reply, asked) && !seenGone) {
            seenGone = true;
            EnterPhase(Phase::WaitBack);
        }
        if (reply.empty()) {
            if (Clock::now() - asked < kRefusedRetryPause)
                PauseUnlessAbandoned(abandoned_, kRefusedRetryPause);
            continue;
        }
        // Back means the version the check trusts: header and sysinfo agree.
        const std::string version = AgreedVersion(
            client.serverVersion(), KeyValueToEnd(reply, "SoftVersion=").value_or(""), untrusted);
        if (version.empty()) {
            PauseUnlessAbandoned(abandoned_, phaseLimits_.pollPause);
            continue;
        }
        untrusted.clear();
        lastVersion = version;
        const bool isTarget = lastVersion == target;
        if (isTarget && (!sameVersion || seenGone)) {
            currentVersion = lastVersion;
            {
                std::lock_guard lock(stepMutex_);
                outcome_.versionAfter = lastVersion;
            }
            return EnterPhase(Phase::Restore);  // the reboot clock stops here
        }
        // Not seen gone yet: the old firmware may still run.
        if (!seenGone) {
            PauseUnlessAbandoned(abandoned_, phaseLimits_.pollPause);
            continue;
        }
        currentVersion = lastVersion;
        {
            std::lock_guard lock(stepMutex_);
            outcome_.versionAfter = lastVersion;
        }
        Fail("the camera came back with " + lastVersion + ", expected " + target);
        return false;
    }
    if (abandoned_)
        return false;
    std::string reason;
    if (sameVersion && lastVersion == target && !seenGone)
        reason = "the camera still answers with " + target +
                 " but was never seen restarting: it may still run its old firmware, so its "
                 "configuration was not restored";
    else if (!untrusted.empty())
        reason = LateReason(CurrentPhase(), phaseLimits_) + ": " + untrusted;
    else
        reason = LateReason(CurrentPhase(), phaseLimits_);
    if (VersionNeedsResetQuestion(before))
        reason += "; a camera whose settings were reset comes back at its default address";
    if (!timeoutText_.empty()) {
        Stop(timeoutText_);
        Post(kMsgGoToPage, 1, 3);
    }
    Fail(reason);
    return false;
}

std::chrono::system_clock::duration CameraUpgrade::EarlierFlashLeft() const {
    using Clock = std::chrono::system_clock;
    if (settings_.retry.versionUpAt == 0)
        return Clock::duration::zero();
    return Clock::from_time_t(settings_.retry.versionUpAt) + phaseLimits_.reboot - Clock::now();
}

void CameraUpgrade::AwaitEarlierFlash() {
    const RetryPlan& plan = settings_.retry;
    using Clock = std::chrono::system_clock;
    const Clock::duration left = EarlierFlashLeft();
    if (left <= Clock::duration::zero())
        return;
    const auto end = Clock::now() + left;
    EnterPhase(Phase::WaitBack);
    const std::string target(PlainVersion(settings_.targetVersion));
    // Re-flashed to the same version: only a restart tells the new one runs.
    const bool sameVersion = plan.versionBefore.empty() || plan.versionBefore == target;
    Silence silence(phaseLimits_.goneAfter);
    while (Clock::now() < end && !abandoned_) {
        CgiClient client(settings_.hostText, limits_);
        const auto asked = Silence::Clock::now();
        const std::string reply = Inquire(client, "inq=sysinfo");
        const bool seenGone = silence.Note(client, reply, asked);
        std::string why;
        if (!reply.empty() &&
            AgreedVersion(client.serverVersion(), KeyValueToEnd(reply, "SoftVersion=").value_or(""),
                          why) == target &&
            (!sameVersion || seenGone))
            break;
        PauseUnlessAbandoned(abandoned_, std::max(phaseLimits_.pollPause, kRefusedRetryPause));
    }
    EnterPhase(Phase::Check);
}

void CameraUpgrade::ApplyRestored() {
    if (!EnterPhase(Phase::Apply))
        return;
    if (!PauseUnlessAbandoned(abandoned_, phaseLimits_.*PhaseRowOf(Phase::Apply).bound))
        return;
    // The batch has no page flow to tell the operator: its row says the
    // configuration is not back.
    const int32_t outcome =
        progressCounter && !backup->restored ? step::kNotRestored : step::kCompleted;
    Finish(outcome, FailureDetail());
    if (progressCounter) {
        std::lock_guard lock(stepMutex_);
        backup.reset();
    }
}

void CameraUpgrade::RestoreBackup() {
    CgiClient restorer(settings_.hostText, limits_);
    std::vector<char> buffer;
    // A configuration that cannot be read back whole is not sent: half a
    // configuration is worse than the factory one.
    if (!backup->ReadBack(buffer)) {
        SetFailureDetail(backup->errorText);
        return;
    }
    http::TransferLimits bound;
    bound.total = phaseLimits_.*PhaseRowOf(Phase::Restore).bound;
    restorer.SetRestoreLimits(bound);
    restorer.SetRestoreData(buffer.data(), static_cast<uint32_t>(buffer.size()));
    const auto started = std::chrono::steady_clock::now();
    if (restorer.RestoreConfiguration() != 0) {
        const bool late = std::chrono::steady_clock::now() - started >= bound.total;
        SetFailureDetail((late ? LateReason(Phase::Restore, phaseLimits_) + ": " : std::string()) +
                         restorer.restoreError());
        return;
    }
    {
        std::lock_guard lock(stepMutex_);
        backup->restored = true;
    }
    // A redirect may be the camera's login page: taken, but the file stays.
    if (const int status = restorer.restoreStatus(); status >= 300 && status < 400) {
        SetFailureDetail("the camera answered the restore with a redirect (HTTP " +
                         std::to_string(status) + "), which may be its login page");
        return;
    }
    backup->DeleteFileIfWanted();
}

}  // namespace vcq
