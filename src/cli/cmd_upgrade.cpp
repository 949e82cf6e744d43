// upgrade: one camera the way the wizard's manual mode does it.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "cli/commands.h"
#include "cli/credentials.h"
#include "cli/options.h"
#include "cli/stderr_window.h"
#include "cli/stop_request.h"
#include "package/resources.h"
#include "package/workspace.h"
#include "platform/system.h"
#include "upgrade/batch_engine.h"
#include "upgrade/camera_session.h"
#include "upgrade/manual_flow.h"

namespace vcq::cli {
namespace {

// A request to end before the upgrade began: the camera is as it was.
int StoppedBeforeUpgrade() {
    std::fprintf(stderr, "upgrade: stopped before the upgrade began: the camera is unchanged\n");
    return kStoppedExit;
}

// The text of every step: the progress page's for 1 to 8, the batch list's
// status for the failures.
int StepTextId(int32_t step) {
    if (int id = ManualStepTextId(step))
        return id;
    switch (step) {
        case step::kVersionUpRefused:
            return 264;
        case step::kWrongVersion:
            return 265;
        case step::kUploadFailed:
            return 354;
        case step::kBackupFailed:
            return 367;
        default:
            return 0;
    }
}

// Looked up once on the main thread: the UI texts are not for workers.
class StepPrinter {
  public:
    explicit StepPrinter(WindowPort* window) {
        for (int32_t step = 0; step < kSteps; ++step)
            if (int id = StepTextId(step))
                texts_[step] = LoadUiText(id, window);
    }
    // "step 10 Error2: the camera came back with 1.05, expected 1.08"
    void Print(int32_t step, const std::string& detail = {}) const {
        std::string text = step >= 0 && step < kSteps ? texts_[step] : "";
        if (!text.empty())
            text = " " + text;
        if (!detail.empty())
            text += ": " + detail;
        std::printf("step %d%s\n", step, text.c_str());
        std::fflush(stdout);
    }

  private:
    static constexpr int32_t kSteps = 16;
    std::string texts_[kSteps];
};

// The reason beneath the operator's message, when there is more to say.
void PrintDetail(const std::string& detail) {
    if (!detail.empty()) {
        std::fprintf(stderr, "%s\n", detail.c_str());
        std::fflush(stderr);
    }
}

}  // namespace

int RunUpgrade(const Args& args) {
    ParsedArgs parsed =
        ParseArgs(args, kLoginOptions, Words({kRetainFlags, {"--yes", "--allow-downgrade"}}));
    if (!parsed.error.empty())
        return UsageError("upgrade", parsed.error);
    std::string error;
    const std::optional<OneCamera> one = ReadOneCamera(parsed, 1, true, error);
    if (!one)
        return UsageError("upgrade", error);
    const std::string& host = one->host;
    const std::string& token = one->token;
    const std::optional<RetainChoice> choice = ReadRetainChoice(parsed, error);
    if (!choice)
        return UsageError("upgrade", error);
    const bool retain = choice->retain;
    const bool keepBackup = choice->keepBackup;

    if (StandInPackage()) {
        std::printf("note: this build carries the %s\n", kStandInNotice);
        std::fflush(stdout);  // a script reading lines sees it before the check
    }
    auto window = std::make_shared<StderrWindow>(parsed.flags.count("--yes") > 0);
    const std::string packageVersion = PackageVersion();
    auto resources = std::make_shared<BatchResources>();
    resources->models = SupportedModels();
    resources->targetVersion = "ver" + packageVersion;
    resources->window = window;
    resources->workspace = std::make_shared<PackageWorkspace>();
    CameraSession session(resources, host, token);
    // A request to end: in the check or the save, they end where they are;
    // during the upgrade, the job ends there and says so, its kept file named
    // and its workspace removed.
    CatchStopRequest();
    if (!RunStoppable(session.Job(), session.CheckTask())) {
        if (StopRequested())
            return StoppedBeforeUpgrade();
        PrintDetail(session.FailureDetail());
        return 1;
    }
    const std::string current = session.CurrentVersion();
    std::printf("current version: %s\nnew version: %s\n", EscapeControls(current).c_str(),
                packageVersion.c_str());

    // Installing older firmware is the operator's own decision, never --yes's.
    if (DecideVersionGate(current, packageVersion) == VersionGate::Downgrade &&
        !parsed.flags.count("--allow-downgrade")) {
        std::fprintf(stderr,
                     "upgrade: the camera's firmware is %s: not installed unless "
                     "--allow-downgrade\n",
                     NewerFirmwareText(current, packageVersion).c_str());
        return 1;
    }
    if (VersionNeedsResetQuestion(current) &&
        window->MessageBox(kResetQuestionText, "Information", MessageIcon::Question,
                           MessageButtons::OkCancel) != MessageAnswer::Ok)
        return 1;
    if (VersionRefused(current, packageVersion)) {
        window->MessageBox(kVersionRefusedText, "Information", MessageIcon::Stop,
                           MessageButtons::Ok);
        return 1;
    }

    resources->workspace->LoadPackage(window.get());
    const StepPrinter printer(window.get());
    if (retain) {
        printer.Print(step::kSavingConfig);
        if (!RunStoppable(session.Job(), session.SaveTask(keepBackup))) {
            if (StopRequested())
                return StoppedBeforeUpgrade();
            window->MessageBox("Cannot save camera's configuration!", "Information",
                               MessageIcon::Stop, MessageButtons::Ok);
            PrintDetail(session.SaveError());
            return 1;
        }
        std::printf("saved: %s\n", session.Saved()->localPath.c_str());
    }

    // Every step as it happens, short ones too; failures with their reason.
    CameraUpgrade& job = session.Job();
    job.SetStepListener([&printer, &job](int32_t now) {
        printer.Print(now, IsFinalStep(now) ? job.FailureDetail() : std::string());
    });
    const sys::StayAwake awake;  // a laptop asleep mid-flash leaves the camera half done
    if (StopRequested())
        return StoppedBeforeUpgrade();
    session.Start();
    bool stopped = false;
    while (!IsFinalStep(session.Step()) && window->GoToPagePosts() == 0) {
        if (StopRequested()) {
            StoppedEnd end = StoppedEndOf(StopCause::Operator, CheckOutcome::Passed, {},
                                          session.Step(), job.CurrentPhase(), {});
            stopped = job.Stop(end.step, std::move(end.reason));
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // Let the worker finish its last report before the workspace goes.
    session.Close(UpgradeSession::kCloseBound);
    job.Abandon();  // nothing more to print after this

    const int32_t outcome = session.Step();
    const CameraEnd result = session.Outcome();
    if (outcome != step::kCompleted) {
        // The worker has told the operator what went wrong, a camera not
        // back in time too; only one back with another version says so here.
        if (outcome == step::kWrongVersion && !stopped && window->GoToPagePosts() == 0)
            window->MessageBox(LoadUiText(206, window.get()),
                               LoadUiText(kTextInformationCaption, window.get()), MessageIcon::Stop,
                               MessageButtons::Ok);
        PrintDetail(session.FailureDetail());
        if (!result.keptFile.empty())
            std::printf("kept: %s\n", result.keptFile.c_str());
        return stopped ? kStoppedExit : 1;
    }
    std::printf("upgraded to: %s\n", EscapeControls(session.CurrentVersion()).c_str());
    if (retain && !result.restored) {
        window->MessageBox("Fault to upload configuration!", "Information", MessageIcon::Stop,
                           MessageButtons::Ok);
        PrintDetail(session.FailureDetail());
        std::printf("kept: %s\n", session.Saved()->localPath.c_str());
        return kNotRestored;
    }
    PrintDetail(result.reason);  // a redirect may not have been the camera's yes
    if (!result.keptFile.empty())
        std::printf("kept: %s\n", result.keptFile.c_str());
    return 0;
}

}  // namespace vcq::cli
