// One camera's inquiry and upgrade object: the checks that decide whether the
// camera may be upgraded, and the upgrade itself on a worker thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "package/resources.h"
#include "package/upload_plan.h"
#include "package/workspace.h"
#include "platform/detached_work.h"
#include "platform/window_port.h"
#include "protocol/camera_replies.h"
#include "protocol/cgi_client.h"
#include "protocol/config_backup.h"
#include "upgrade/job_transfers.h"
#include "upgrade/job_values.h"
#include "upgrade/steps.h"

namespace vcq {

inline constexpr size_t kMaxModelNames = 10;
inline constexpr uint64_t kMinBuiltInFree = 5242880;  // 5 MiB for the package
inline constexpr uint32_t kTickPeriodMs = 1000;

// The upgrade's owners hold it by shared_ptr: a worker still inside a bounded
// exchange keeps the object alive after its owner let go, and stops on its
// own once it notices Abandon().
class CameraUpgrade : public std::enable_shared_from_this<CameraUpgrade> {
  public:
    // Manual mode passes index 0 and not silent, and hands its own backup to
    // StartUpgrade; the batch passes its row, silent, and retain set.
    CameraUpgrade(JobSettings settings, std::shared_ptr<WindowPort> owner, int32_t index,
                  bool silent);
    virtual ~CameraUpgrade();
    CameraUpgrade(const CameraUpgrade&) = delete;
    CameraUpgrade& operator=(const CameraUpgrade&) = delete;

    const JobSettings& Settings() const { return settings_; }
    // Before StartUpgrade: the serial the check found, the batch's choices.
    void SetSerial(std::string serial) { settings_.serial = std::move(serial); }
    void SetSaveChoice(bool retain, bool deleteAfterRestore, std::time_t startTime);

    // The full check before an upgrade; the first failure ends it. `gates`,
    // when given, decides from the version read before the camera's memory
    // is asked about: false ends the check.
    bool CheckPreconditions(bool& lowMemory, std::string* serial,
                            const std::function<bool()>& gates = {});
    // Its first part: the login is the administrator's, the model ours, the
    // version readable.
    bool CheckIdentity(CgiClient& client, std::string* serial);
    // A retry's check before its kept configuration goes back: the file is
    // there, the login, the model, the serial the file was saved under, the
    // target version. False with the failure detail set; `notAtTarget` when
    // only the version kept it back.
    bool CheckBeforeRestore(bool& notAtTarget, std::string* serial = nullptr);
    // A retry's camera told to flash by an earlier run: until that flash's
    // reboot bound has passed, waits for it to be back with the target
    // version (seen restarting, when it was at the target already). Returns
    // at once for any other camera.
    void AwaitEarlierFlash();
    // How long that flash may still be under way; zero or less once its
    // bound has passed, or for a camera no earlier run told to flash.
    std::chrono::system_clock::duration EarlierFlashLeft() const;
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

    // The upgrade. StartUpgrade needs the object to be held by a shared_ptr
    // (0 otherwise); it sets the first step (1 when it saves the
    // configuration itself, else 2) and runs the phases on a worker thread.
    int StartUpgrade(std::shared_ptr<ConfigBackup> backup);
    // A retry's restore alone: the kept configuration sent back, nothing
    // flashed; the step is 7 until it ends (8, or 15 when refused). 0 when
    // the file cannot be read.
    int StartRestore();
    // The kept configuration of a retry as a backup to restore; null when
    // the file cannot be read, `error` saying why.
    std::shared_ptr<ConfigBackup> KeptBackup(std::string* error = nullptr) const;
    bool EnableFtpServer();
    bool SendVersionUp();
    void ReportUploadFailure();
    void ReportVersionUpResult();

    // Step changes as they happen, for front ends that print or log each
    // one: called on the worker right after every step it writes (1, 2, 3, 7
    // and the final one), never once Abandon() has returned. Set it before
    // StartUpgrade. It runs under the step lock: keep it short, and never let
    // it wait for a thread that may call Abandon().
    using StepListener = std::function<void(int32_t step)>;
    void SetStepListener(StepListener listener);

    // Why the check or the upgrade failed, in words a front end can show
    // below the operator's message ("the camera came back with 1.05,
    // expected 1.08"); also why a restore did not count. Empty when nothing
    // failed or nothing more is known. Safe from any thread.
    std::string FailureDetail() const;
    // The file the configuration was saved to, empty when none was; the
    // file may have been deleted since. Safe from any thread.
    std::string SavedBackupPath() const;
    // The job's outcome so far; whole once the step is final. Safe from any
    // thread.
    CameraEnd Outcome() const;
    // The phase the worker is in. Safe from any thread.
    Phase CurrentPhase() const {
        std::lock_guard lock(stepMutex_);
        return phase_;
    }

    // The worker stops at its next chance and from then on neither writes
    // `step` nor calls the owner or the step listener. Waits only for a step
    // listener call in progress.
    void Abandon();
    bool Abandoned() const { return abandoned_; }
    // An owner's word that the job ends here (a check's verdict, an
    // operator's stop, a batch's backstop): the job writes `finalStep` and
    // `reason` as its own end, unless it has ended already (then false),
    // and stops as Abandon() does.
    bool Stop(int32_t finalStep, std::string reason);
    // For the headless front end and tests: waits until the worker ended.
    bool WaitForWorker(std::chrono::milliseconds timeout);

    // Exchange bounds of every client this object makes (tests shorten them).
    void SetExchangeLimits(const ExchangeLimits& limits) { limits_ = limits; }
    void SetPhaseLimits(const PhaseLimits& limits) { phaseLimits_ = limits; }

    // The manual page's bar.
    void SetProgressBar(std::shared_ptr<ProgressPort> bar) { progressBar = std::move(bar); }
    // What the owner belongs to, for owners whose workers may outlive them
    // (the batch session's resources).
    void KeepAlive(std::shared_ptr<const void> holder) { keepAlive = std::move(holder); }
    // The check's "inq=sysinfo" reply. Read once the check ended.
    const std::string& SysinfoText() const { return sysinfoText; }
    // The camera's FTP account, once EnableFtpServer read it.
    const std::string& FtpUser() const { return ftpUser; }
    const std::string& FtpPassword() const { return ftpPassword; }
    // The camera's FTP port, 21 unless a stand-in listens elsewhere.
    void SetFtpPort(uint16_t port) { ftpPort = port; }
    // Whether the worker still holds the configuration it saved.
    bool HoldsBackup() const { return backup != nullptr; }

    // The step the worker is at; a front end polls it. Safe from any thread.
    int32_t Step() const { return step; }
    // What the check read. Read once it ended.
    const std::string& CurrentVersion() const { return currentVersion; }
    // The last check asked the camera and it answered nothing (one never
    // asked, its kept file gone, is not silent).
    bool Unanswered() const { return unanswered; }
    // The last check failed on the login: refused, or not the administrator's.
    bool LoginRefused() const { return loginRefused; }
    // Of those, a login the camera took that is not its administrator's.
    bool NotAdministrator() const { return notAdministrator_; }
    // Where the package is unpacked. Before StartUpgrade.
    void SetWorkspace(std::shared_ptr<PackageWorkspace> where) { workspace = std::move(where); }
    // Batch mode: the job's progress counter (its upload resets and advances
    // it, the engine adds to it) and the line every job's upload takes in
    // turn, so none uploads at once. Before StartUpgrade.
    void SetProgressCounter(std::shared_ptr<std::atomic<int32_t>> counter) {
        progressCounter = std::move(counter);
    }
    std::atomic<int32_t>& ProgressCounter() { return *progressCounter; }
    void SetUploadLine(std::shared_ptr<UploadLine> line) { uploadLine = std::move(line); }
    // The abort of every transfer of the current upgrade (Abandon() pulls
    // it) and its upload's tally; StartUpgrade makes them afresh. On the
    // thread that starts the upgrade.
    const std::shared_ptr<JobTransfers>& Transfers() const { return transfers; }

  protected:
    std::string Inquire(CgiClient& client, std::string_view body) const;
    bool Unreadable(const CgiClient& client, const std::string& reply, const char* topic,
                    const char* key);
    int StartWorker(std::shared_ptr<ConfigBackup> savedBackup, bool restoreOnly);
    // The worker: from `first` on, each phase followed by the table's next
    // until one ends the job.
    void RunPhases(Phase first);
    // One phase (with the ones it takes in): the phase it ended in when it
    // succeeded, nullopt once the job ended or was abandoned.
    std::optional<Phase> RunPhase(Phase phase);
    // The batch's own save; true when nothing was to be saved.
    bool SaveConfiguration();
    // The upload's phases, each false once it failed (its reason set) or the
    // job was abandoned: the package unpacked and planned; the camera's FTP
    // server switched on and logged in to, before the turn; the turn in the
    // upload line (batch mode); the files sent.
    bool PreparePackage();
    bool OpenFtp();
    bool AwaitUploadTurn();
    bool UploadPackage();
    // After an upload phase: its phase when it succeeded, else the upload's
    // failure reported. What the phases shared goes once the upload ended.
    std::optional<Phase> AfterUploadPhase(Phase phase, bool succeeded);
    bool FtpFailed(const std::string& what);
    // To the operator; a silent check keeps it as its failure detail instead.
    void Warn(const std::string& text);
    void Stop(const std::string& text) const;
    // Writes the step unless the worker was abandoned, and tells the step
    // listener; false when it was abandoned.
    bool SetStep(int32_t value);
    // The final step, its reason and, for every failure after the save, the
    // kept file named.
    bool Finish(int32_t finalStep, std::string reason);
    // Times the phase left and writes the step the entered one shows (see
    // the phase table); false when the job was abandoned.
    bool EnterPhase(Phase phase);
    void TimePhase(Phase phase);
    // Ends the job with the failure step of the phase it is in.
    bool Fail(std::string reason);
    void SetFailureDetail(std::string detail);
    void Post(uint32_t message, uintptr_t wParam, intptr_t lParam);
    void ProgressReset(int32_t range);
    void ProgressAdvance();
    // True once the camera is back with the target version (the job is then
    // in its restore phase).
    bool WaitForRebootedCamera();
    // Sends the backup back; marks it restored only when the camera took it.
    void RestoreBackup();
    // Step 7 while the camera applies it, then the job's end.
    void ApplyRestored();

    std::atomic<int32_t> step{step::kNotStarted};
    int32_t index = 0;
    std::string currentVersion;
    std::shared_ptr<std::atomic<int32_t>> progressCounter;  // batch mode
    std::shared_ptr<PackageWorkspace> workspace;
    bool unanswered = false;
    bool loginRefused = false;
    std::shared_ptr<JobTransfers> transfers = std::make_shared<JobTransfers>();
    std::shared_ptr<UploadLine> uploadLine;  // batch mode
    std::shared_ptr<ConfigBackup> backup;
    std::atomic<int32_t> fileCount{0};
    std::string ftpUser;
    std::string ftpPassword;
    uint16_t ftpPort = 21;
    std::shared_ptr<ProgressPort> progressBar;  // manual mode
    UploadPlan packageEntries;
    // What the upload's phases hand on, on the worker only.
    struct UploadRun;
    std::unique_ptr<UploadRun> upload_;
    std::shared_ptr<WindowPort> owner;
    std::string sysinfoText;
    std::string sysuserText;
    bool silent = false;
    std::shared_ptr<const void> keepAlive;
    JobSettings settings_;
    ExchangeLimits limits_;
    PhaseLimits phaseLimits_;
    std::atomic<bool> abandoned_{false};
    bool notAdministrator_ = false;  // written by the check, read once it ended
    // A step write, its listener call and the abandon check are one; the
    // listener may call Abandon() itself.
    mutable std::recursive_mutex stepMutex_;
    StepListener stepListener_;
    std::string failureDetail_;                         // under stepMutex_
    std::string savedBackupPath_;                       // under stepMutex_
    CameraEnd outcome_;                                 // under stepMutex_
    Phase phase_ = Phase::Check;                        // under stepMutex_
    std::chrono::steady_clock::time_point phaseStart_;  // under stepMutex_
    mutable std::mutex workerMutex_;
    DetachedWork<bool> worker_;  // under workerMutex_
    std::string timeoutText_;    // looked up on the owner's thread
};

// Whether `model` is among the first ten names of `models`; an empty model
// never is, not even against the list's empty slots.
bool IsSupportedModel(std::string_view model, const ModelList* models);

}  // namespace vcq
