// upgrade: one camera the way the wizard's manual mode does it.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "cli/commands.h"
#include "cli/credentials.h"
#include "cli/options.h"
#include "cli/stderr_window.h"
#include "package/resources.h"
#include "package/workspace.h"
#include "platform/system.h"
#include "protocol/cgi_client.h"
#include "upgrade/camera_upgrade.h"
#include "upgrade/manual_flow.h"

namespace vcq::cli {
namespace {

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

    if (StandInPackage())
        std::printf("note: this build carries the %s\n", kStandInNotice);
    StderrWindow window(parsed.flags.count("--yes") > 0);
    ModelList models = SupportedModels();
    const std::string packageVersion = PackageVersion();
    auto upgrade = std::make_shared<CameraUpgrade>(
        CameraJob(host, token, models, "ver" + packageVersion), &window, 0, false);
    bool lowMemory = false;
    std::string serial;
    if (!upgrade->CheckPreconditions(lowMemory, &serial)) {
        PrintDetail(upgrade->FailureDetail());
        return 1;
    }
    upgrade->SetSerial(serial);
    std::printf("current version: %s\nnew version: %s\n",
                EscapeControls(upgrade->currentVersion).c_str(), packageVersion.c_str());

    // Installing older firmware is the operator's own decision, never --yes's.
    if (DecideVersionGate(upgrade->currentVersion, packageVersion) == VersionGate::Downgrade &&
        !parsed.flags.count("--allow-downgrade")) {
        std::fprintf(stderr,
                     "upgrade: the camera's firmware is %s: not installed unless "
                     "--allow-downgrade\n",
                     NewerFirmwareText(upgrade->currentVersion, packageVersion).c_str());
        return 1;
    }
    if (VersionNeedsResetQuestion(upgrade->currentVersion) &&
        window.MessageBox(kResetQuestionText, "Information", MessageIcon::Question,
                          MessageButtons::OkCancel) != MessageAnswer::Ok)
        return 1;
    if (VersionRefused(upgrade->currentVersion, packageVersion)) {
        window.MessageBox(kVersionRefusedText, "Information", MessageIcon::Stop,
                          MessageButtons::Ok);
        return 1;
    }

    auto workspace = std::make_shared<PackageWorkspace>();
    workspace->LoadPackage(&window);
    upgrade->workspace = workspace;
    struct CleanUp {
        std::shared_ptr<PackageWorkspace> workspace;
        ~CleanUp() { workspace->RemoveAtExit(); }
    } cleanUp{workspace};

    const StepPrinter printer(&window);
    std::shared_ptr<ConfigBackup> backup;
    if (retain) {
        printer.Print(step::kSavingConfig);
        backup = std::make_shared<ConfigBackup>(host, ConfigCameraPath(models.Primary()), token,
                                                std::time(nullptr), models.Primary(), serial,
                                                !keepBackup);
        if (!backup->Download()) {
            window.MessageBox("Cannot save camera's configuration!", "Information",
                              MessageIcon::Stop, MessageButtons::Ok);
            PrintDetail(backup->errorText);
            return 1;
        }
        std::printf("saved: %s\n", backup->localPath.c_str());
    }

    // Every step as it happens, short ones too; failures with their reason.
    upgrade->SetStepListener([&printer, raw = upgrade.get()](int32_t now) {
        printer.Print(now, IsFinalStep(now) ? raw->FailureDetail() : std::string());
    });
    const sys::StayAwake awake;  // a laptop asleep mid-flash leaves the camera half done
    upgrade->StartUpgrade(backup);
    while (!IsFinalStep(upgrade->step) && window.GoToPagePosts() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // Let the worker finish its last report before the workspace goes.
    upgrade->WaitForWorker(std::chrono::seconds(70));
    upgrade->Abandon();  // nothing more to print after this

    const int32_t outcome = upgrade->step;
    const JobOutcome result = upgrade->Outcome();
    if (outcome != step::kCompleted) {
        // The worker has told the operator what went wrong, a camera not
        // back in time too; only one back with another version says so here.
        if (outcome == step::kWrongVersion && window.GoToPagePosts() == 0)
            window.MessageBox(LoadUiText(206, &window),
                              LoadUiText(kTextInformationCaption, &window), MessageIcon::Stop,
                              MessageButtons::Ok);
        PrintDetail(upgrade->FailureDetail());
        if (!result.keptFile.empty())
            std::printf("kept: %s\n", result.keptFile.c_str());
        return 1;
    }
    std::printf("upgraded to: %s\n", EscapeControls(upgrade->currentVersion).c_str());
    if (backup && !backup->restored) {
        window.MessageBox("Fault to upload configuration!", "Information", MessageIcon::Stop,
                          MessageButtons::Ok);
        PrintDetail(upgrade->FailureDetail());
        std::printf("kept: %s\n", backup->localPath.c_str());
        return kNotRestored;
    }
    PrintDetail(result.reason);  // a redirect may not have been the camera's yes
    if (!result.keptFile.empty())
        std::printf("kept: %s\n", result.keptFile.c_str());
    return 0;
}

}  // namespace vcq::cli
