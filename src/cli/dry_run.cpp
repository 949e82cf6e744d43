#include "cli/dry_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "cli/batch_report.h"
#include "cli/parallel.h"
#include "protocol/cgi_client.h"
#include "upgrade/camera_upgrade.h"
#include "upgrade/manual_flow.h"

namespace vcq::cli {
namespace {

const char* ActionName(DryRunAction action) {
    switch (action) {
        case DryRunAction::Upgrade:
            return "upgrade";
        case DryRunAction::UpToDate:
            return "up_to_date";
        case DryRunAction::Restore:
            return "restore";
        case DryRunAction::LeftOut:
            break;
    }
    return "left_out";
}

// Why a check kept the camera back, as its job words it.
ReasonCode FailedCheckCode(const CameraUpgrade& upgrade, bool lowMemory) {
    return upgrade.NotAdministrator() ? ReasonCode::NotAdministrator
           : upgrade.LoginRefused()   ? ReasonCode::LoginRefused
           : lowMemory                ? ReasonCode::LowMemory
           : upgrade.Unanswered()     ? ReasonCode::NoConnection
                                      : ReasonCode::CheckFailed;
}

}  // namespace

DryRunVerdict JudgeCamera(const BatchCamera& camera, const ModelList& models,
                          const std::string& targetVersion, bool retain) {
    DryRunVerdict verdict;
    // Silent, as in the batch: the reasons are kept instead of shown.
    JobSettings settings = CameraJob(CameraHostText(camera.ip, camera.port),
                                     EncodeBasicToken(camera.user + ":" + camera.password), models,
                                     "ver" + targetVersion);
    settings.serial = camera.serial;
    settings.retry = camera.retry;
    CameraUpgrade upgrade(settings, nullptr, 0, true);
    // A retry's camera told to flash before is asked what its job will ask
    // at its turn: whether its kept file can go back (a flash that may still
    // be written is not waited for here).
    if (RestoresKeptFile(camera.retry)) {
        bool notAtTarget = false;
        const bool restorable = upgrade.CheckBeforeRestore(notAtTarget, nullptr);
        verdict.version = EscapeControls(PlainVersion(upgrade.CurrentVersion()));
        if (verdict.version.empty())
            verdict.version = EscapeControls(PlainVersion(camera.version));
        if (restorable) {
            verdict.action = DryRunAction::Restore;
            verdict.code = ReasonCode::Restore;
            verdict.reason = "configuration only, from " + camera.retry.keptFile;
            return verdict;
        }
        // Its job first waits out a flash the old firmware may still be
        // writing; a dry run cannot, and says so.
        const auto flashLeft = upgrade.EarlierFlashLeft();
        if (flashLeft > flashLeft.zero()) {
            verdict.action = DryRunAction::Restore;
            verdict.code = ReasonCode::Restore;
            verdict.reason =
                "it may still be writing the firmware it was told to flash: its retry waits up "
                "to " +
                std::to_string(std::chrono::ceil<std::chrono::seconds>(flashLeft).count()) +
                " s for it, then sends its configuration back from " + camera.retry.keptFile +
                " (with the upgrade if it is not at the target)";
            return verdict;
        }
        if (!notAtTarget || camera.retry.action == RetryAction::Restore) {
            verdict.code = FailedCheckCode(upgrade, false);
            verdict.reason =
                "its configuration cannot go back: " +
                (upgrade.FailureDetail().empty() ? std::string("the camera's check failed")
                                                 : upgrade.FailureDetail());
            return verdict;
        }
        // Not at the target: upgraded first, its kept file sent back after.
    }
    bool lowMemory = false;
    std::string serial;
    const bool passed = upgrade.CheckPreconditions(lowMemory, &serial);
    verdict.version = EscapeControls(PlainVersion(upgrade.CurrentVersion()));
    // A check refused before it read the version still has the identify's.
    if (verdict.version.empty())
        verdict.version = EscapeControls(PlainVersion(camera.version));
    if (!passed) {
        verdict.code = FailedCheckCode(upgrade, lowMemory);
        verdict.reason = upgrade.LoginRefused() ? "login refused"
                         : lowMemory            ? "too little free memory for the package"
                                                : "the camera's check failed";
        if (!upgrade.FailureDetail().empty())
            verdict.reason += ": " + upgrade.FailureDetail();
        return verdict;
    }
    // The gates the job applies at its check, in its words for a dry run.
    std::string gateReason;
    const GateConsent consent{camera.resetAgreed, camera.reflash, camera.downgradeAgreed};
    switch (DecideJobGate(upgrade.CurrentVersion(), targetVersion, consent, gateReason,
                          &verdict.code)) {
        case JobGate::UpToDate:
            verdict.action = DryRunAction::UpToDate;
            verdict.reason = "already at " + targetVersion;
            return verdict;
        case JobGate::Refused:
            verdict.reason = verdict.code == ReasonCode::NewerThanPackage
                                 ? NewerFirmwareText(verdict.version, targetVersion) +
                                       ". Left out unless --allow-downgrade."
                                 : gateReason;
            return verdict;
        case JobGate::LeftOut:
            verdict.reason = std::string(kResetQuestionText) + " Left out unless --allow-reset.";
            return verdict;
        case JobGate::Pass:
            break;
    }
    if (retain && serial.empty()) {
        verdict.code = ReasonCode::SerialUnreadable;
        verdict.reason = kNoSerialText;
        return verdict;
    }
    verdict.action = DryRunAction::Upgrade;
    verdict.code = ReasonCode::Upgrade;
    verdict.reason = verdict.version + " to " + targetVersion;
    if (RestoresKeptFile(camera.retry))
        verdict.reason += ", then its configuration from " + camera.retry.keptFile;
    return verdict;
}

std::string DryRunLine(size_t index, const BatchCamera& camera, const DryRunVerdict& verdict,
                       bool json) {
    // A retry's cameras keep their place in the batch they come from.
    const size_t number = camera.id > 0 ? static_cast<size_t>(camera.id) : index + 1;
    char id[16];
    std::snprintf(id, sizeof id, "%03zu", number);
    if (!json) {
        std::string action = ActionName(verdict.action);
        std::replace(action.begin(), action.end(), '_', ' ');
        return std::string(id) + " " + CameraHostText(camera.ip, camera.port) + " " + action +
               ": " + verdict.reason;
    }
    return EventLine({{"event", "dry_run"},
                      {"id", number},
                      {"address", CameraHostText(camera.ip, 80)},
                      {"port", camera.port},
                      {"model", camera.model},
                      {"serial", camera.serial},
                      {"version", verdict.version},
                      {"action", ActionName(verdict.action)},
                      {"reason", verdict.reason},
                      {"reason_code", ReasonCodeName(verdict.code)}});
}

int RunDryRun(const std::vector<BatchCamera>& cameras, const ModelList& models, bool retain,
              bool json) {
    const std::string target = PackageVersion();
    std::vector<DryRunVerdict> verdicts(cameras.size());
    ForEachAtOnce(cameras.size(),
                  [&](size_t i) { verdicts[i] = JudgeCamera(cameras[i], models, target, retain); });
    size_t counts[4] = {};
    size_t unfit = 0;  // left out, and not on purpose
    for (size_t i = 0; i < cameras.size(); ++i) {
        ++counts[static_cast<int>(verdicts[i].action)];
        unfit += verdicts[i].action == DryRunAction::LeftOut &&
                 verdicts[i].code != ReasonCode::OtherGeneration &&
                 verdicts[i].code != ReasonCode::NewerThanPackage;
        std::printf("%s\n", DryRunLine(i, cameras[i], verdicts[i], json).c_str());
    }
    const size_t upgrade = counts[static_cast<int>(DryRunAction::Upgrade)];
    const size_t upToDate = counts[static_cast<int>(DryRunAction::UpToDate)];
    const size_t leftOut = counts[static_cast<int>(DryRunAction::LeftOut)];
    const size_t restore = counts[static_cast<int>(DryRunAction::Restore)];
    if (json)
        std::printf(
            "{\"event\":\"dry_run_summary\",\"upgrade\":%zu,\"up_to_date\":%zu,"
            "\"left_out\":%zu,\"restore\":%zu}\n",
            upgrade, upToDate, leftOut, restore);
    else
        std::printf(
            "Dry run: %zu to upgrade, %zu up to date, %zu left out%s; nothing was changed\n",
            upgrade, upToDate, leftOut,
            restore ? (", " + std::to_string(restore) + " configuration only").c_str() : "");
    std::fflush(stdout);
    return unfit == 0 ? 0 : 1;
}

}  // namespace vcq::cli
