// The program's batch jobs: CameraUpgrade in batch mode, its precondition
// check on a thread of its own so that the engine's caller never waits for a
// camera.
#include <atomic>

#include "platform/detached_work.h"
#include "platform/files.h"
#include "protocol/cgi_client.h"
#include "upgrade/batch_engine.h"
#include "upgrade/camera_upgrade.h"
#include "upgrade/manual_flow.h"
#include "upgrade/phase_table.h"

namespace vcq {
namespace {

// What a finished check found: its outcome and, for a camera the version
// gates keep back, why.
struct CheckResult {
    CheckOutcome outcome = CheckOutcome::Pending;
    std::string refusal;
    ReasonCode reason = ReasonCode::CheckFailed;  // why a failed check kept it back
    std::string serial;                           // as the camera told it at the check
    std::string model;
    bool restoreOnly = false;  // a retry's camera at the target: its file back alone
};

// Why a given-up upload failed: how far it got.
std::string UploadTooSlowText(const UploadTally& tally) {
    return "the upload was too slow: " + std::to_string(tally.sent) + " of " +
           std::to_string(tally.total) + " bytes in " +
           std::to_string((tally.took.count() + 500) / 1000) + " s";
}

class CameraUpgradeJob : public BatchJob {
  public:
    CameraUpgradeJob(std::shared_ptr<CameraUpgrade> upgrade, GateConsent consent,
                     std::shared_ptr<const BatchSettings> settings)
        : upgrade_(std::move(upgrade)), consent_(consent), settings_(std::move(settings)) {}

    // A check that has not ended is let go; it holds what it uses. Whatever
    // the batch's first identify saw, the gates decide from what the camera
    // says now.
    void BeginCheck() override {
        if (check_.Started())
            return;
        const bool retain = settings_->retain != 0;
        // A stop reaches the check's exchanges too.
        check_ = DetachedWork<CheckResult>::Start([upgrade = upgrade_, consent = consent_, retain,
                                                   abort = upgrade_->Transfers()->Abort()] {
            const AbortScope exchangesObey(abort);
            CheckResult result;
            const RetryPlan& plan = upgrade->Settings().retry;
            // Never a second flash while the first may still be written.
            upgrade->AwaitEarlierFlash();
            if (RestoresKeptFile(plan)) {
                bool notAtTarget = false;
                result.restoreOnly = upgrade->CheckBeforeRestore(notAtTarget, &result.serial);
                if (result.restoreOnly) {
                    result.outcome = CheckOutcome::Passed;
                    return result;
                }
                // An upgraded camera is never flashed again.
                if (!notAtTarget || plan.action == RetryAction::Restore) {
                    if (upgrade->Unanswered())
                        result.reason = ReasonCode::NoConnection;
                    result.outcome =
                        upgrade->LoginRefused() ? CheckOutcome::LoginRefused : CheckOutcome::Failed;
                    if (upgrade->NotAdministrator())
                        result.reason = ReasonCode::NotAdministrator;
                    return result;
                }
            }
            bool lowMemory = false;
            JobGate gate = JobGate::Pass;
            const bool passed = upgrade->CheckPreconditions(lowMemory, &result.serial, [&] {
                result.model = KeyValue(upgrade->SysinfoText(), "ModelName=").value_or("");
                gate = DecideJobGate(upgrade->CurrentVersion(), upgrade->Settings().targetVersion,
                                     consent, result.refusal, &result.reason);
                if (gate == JobGate::Pass && retain && result.serial.empty()) {
                    gate = JobGate::LeftOut;
                    result.refusal = kNoSerialText;
                    result.reason = ReasonCode::SerialUnreadable;
                }
                return gate == JobGate::Pass;
            });
            if (!passed && gate == JobGate::Pass && upgrade->Unanswered())
                result.reason = ReasonCode::NoConnection;
            result.outcome = passed                      ? CheckOutcome::Passed
                             : gate == JobGate::Refused  ? CheckOutcome::Refused
                             : gate == JobGate::UpToDate ? CheckOutcome::UpToDate
                             : lowMemory                 ? CheckOutcome::LowMemory
                             : upgrade->LoginRefused()   ? CheckOutcome::LoginRefused
                                                         : CheckOutcome::Failed;
            if (upgrade->NotAdministrator())
                result.reason = ReasonCode::NotAdministrator;
            return result;
        });
    }

    CheckOutcome PollCheck() override {
        const std::optional<CheckResult> result = check_.Outcome();
        return result ? result->outcome : CheckOutcome::Pending;
    }

    // The batch's choices are made after its rows: the job takes them now.
    void Start() override {
        upgrade_->SetSaveChoice(settings_->retain != 0, settings_->deleteAfterRestore != 0,
                                settings_->startTime);
        upgrade_->SetUploadLine(settings_->uploadLine);
        const std::optional<CheckResult> result = check_.Outcome();
        // The serial read at the check names the backup, never the address.
        if (result)
            upgrade_->SetSerial(result->serial);
        if (result && result->restoreOnly) {
            upgrade_->StartRestore();
            return;
        }
        // The configuration saved before the first flash, not the one the
        // camera may have been reset to since.
        upgrade_->StartUpgrade(RestoresKeptFile(upgrade_->Settings().retry) ? upgrade_->KeptBackup()
                                                                            : nullptr);
    }
    int32_t Step() const override { return upgrade_->Step(); }
    int32_t Progress() const override { return upgrade_->ProgressCounter(); }
    int32_t AddProgress(int32_t amount) override { return upgrade_->ProgressCounter() += amount; }
    std::string TargetVersion() const override { return upgrade_->Settings().targetVersion; }
    void Abandon() override { upgrade_->Abandon(); }
    void Stop(StopCause cause) override {
        const std::optional<CheckResult> check = check_.Outcome();
        StoppedEnd end = StoppedEndOf(
            cause, check ? check->outcome : CheckOutcome::Pending,
            check && !check->refusal.empty() ? check->refusal : upgrade_->FailureDetail(),
            upgrade_->Step(), upgrade_->CurrentPhase(), Upload());
        // One that ended on its own first keeps that end.
        const bool wrote = upgrade_->Stop(end.step, std::move(end.reason));
        cutOff_ = wrote && cause == StopCause::Operator;
    }
    std::string Serial() const override {
        const std::optional<CheckResult> result = check_.Outcome();
        return result ? result->serial : std::string();
    }
    std::string Model() const override {
        const std::optional<CheckResult> result = check_.Outcome();
        return result ? result->model : std::string();
    }
    std::optional<Phase> CurrentPhase() const override { return upgrade_->CurrentPhase(); }
    CameraEnd End() const override {
        CameraEnd end = upgrade_->Outcome();
        const std::optional<CheckResult> check = check_.Outcome();
        if (check && !check->refusal.empty())
            end.reason = check->refusal;
        // A retry's camera was told to flash by the run it comes from: a
        // later retry must check it first too.
        const RetryPlan& retry = upgrade_->Settings().retry;
        end.flashed = end.versionUpSent || RestoresKeptFile(retry);
        if (end.versionUpAt == 0)
            end.versionUpAt = retry.versionUpAt;
        SettleEnd(end, check ? check->outcome : CheckOutcome::Pending,
                  check ? check->reason : ReasonCode::CheckFailed, cutOff_);
        return end;
    }
    bool Busy() const override {
        return check_.Running() || !upgrade_->WaitForWorker(std::chrono::milliseconds(0));
    }
    bool InTransfer() const override { return upgrade_->Transfers()->InTransfer(); }
    UploadTally Upload() const override { return upgrade_->Transfers()->Tally(); }

  private:
    std::shared_ptr<CameraUpgrade> upgrade_;
    DetachedWork<CheckResult> check_;
    const GateConsent consent_;
    std::shared_ptr<const BatchSettings> settings_;  // read on the engine's thread only
    bool cutOff_ = false;                            // the operator's stop wrote its end
};

}  // namespace

StoppedEnd StoppedEndOf(StopCause cause, CheckOutcome check, std::string checkReason, int32_t now,
                        std::optional<Phase> phase, const UploadTally& upload) {
    switch (cause) {
        case StopCause::CheckVerdict:
            // Another generation or a newer camera is its own end, not a
            // network error; one up to date is no failure at all.
            return {check == CheckOutcome::LowMemory      ? step::kLowMemory
                    : check == CheckOutcome::LoginRefused ? step::kLoginError
                    : check == CheckOutcome::UpToDate     ? step::kCompleted
                                                          : step::kVersionUpRefused,
                    std::move(checkReason)};
        case StopCause::Operator: {
            std::string reason = "cut off while " + BatchStatusText(ShownStep(now, phase)) +
                                 " (step " + std::to_string(now) + ")";
            // Past the versionup the camera goes on without us: not the step
            // that says its firmware is unchanged.
            const bool flashing = now >= step::kOverwriting;
            if (flashing)
                reason += "; the camera may still be writing its firmware or restarting";
            return {flashing ? step::kWrongVersion : step::kVersionUpRefused, std::move(reason)};
        }
        case StopCause::Backstop:
            // An upload that long was too slow: how far it got says so.
            return {step::kVersionUpRefused, now == step::kUploading && upload.total > 0
                                                 ? UploadTooSlowText(upload)
                                                 : "still under way after 10000 engine ticks"};
    }
    return {step::kVersionUpRefused, {}};
}

void SettleEnd(CameraEnd& end, CheckOutcome check, ReasonCode checkReason, bool cutOff) {
    end.cutOff = cutOff;
    // Another generation or a newer camera is its own end, not a network
    // error; one up to date is no failure at all.
    if (check == CheckOutcome::Failed || check == CheckOutcome::Refused ||
        (check == CheckOutcome::LoginRefused && checkReason == ReasonCode::NotAdministrator))
        end.checkReason = checkReason;
    const int32_t last = end.finalStep;
    end.outcome = !IsFinalStep(last)                ? BatchOutcome::NotStarted
                  : check == CheckOutcome::UpToDate ? BatchOutcome::UpToDate
                  : last == step::kCompleted        ? BatchOutcome::Completed
                  : check == CheckOutcome::Refused  ? BatchOutcome::Refused
                  : last == step::kNotRestored      ? BatchOutcome::ConfigNotRestored
                                                    : BatchOutcome::Failed;
}

BatchJobFactory CameraUpgradeJobs(ModelList models, std::string targetVersion,
                                  std::shared_ptr<WindowPort> owner,
                                  std::shared_ptr<PackageWorkspace> workspace,
                                  std::shared_ptr<const void> keepAlive) {
    return [=](const BatchCamera& camera, int32_t index,
               std::shared_ptr<const BatchSettings> settings) {
        JobSettings job =
            CameraJob(CameraHostText(camera.ip, camera.port),
                      EncodeBasicToken(camera.user + ":" + camera.password), models, targetVersion);
        job.serial = camera.serial;
        job.retry = camera.retry;
        if (job.retry.versionBefore.empty())
            job.retry.versionBefore = PlainVersion(camera.version);
        auto upgrade = std::make_shared<CameraUpgrade>(std::move(job), owner, index, true);
        upgrade->SetWorkspace(workspace);
        upgrade->KeepAlive(keepAlive);
        upgrade->SetProgressCounter(std::make_shared<std::atomic<int32_t>>(0));
        const GateConsent consent{camera.resetAgreed, camera.reflash, camera.downgradeAgreed};
        return std::make_shared<CameraUpgradeJob>(std::move(upgrade), consent, settings);
    };
}

}  // namespace vcq
