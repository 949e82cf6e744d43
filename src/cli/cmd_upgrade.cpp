// upgrade: one camera the way the wizard's manual mode does it.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/stderr_window.h"
#include "package/workspace.h"
#include "protocol/cgi_client.h"
#include "upgrade/camera_upgrade.h"
#include "upgrade/manual_flow.h"

namespace vcq::cli {
namespace {

void PrintStep(int32_t step, WindowPort* window) {
    int id = ManualStepTextId(step);
    std::string text = id ? LoadUiText(id, window) : "";
    std::printf("step %d%s%s\n", step, text.empty() ? "" : " ", text.c_str());
    std::fflush(stdout);
}

}  // namespace

int RunUpgrade(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, {"--user", "--password"}, {"--retain", "--backup"});
    if (!parsed.error.empty())
        return UsageError("upgrade", parsed.error);
    if (parsed.positional.size() != 1)
        return UsageError("upgrade", "give one HOST[:PORT]");
    auto user = parsed.Option("--user");
    auto password = parsed.Option("--password");
    if (!user || !password)
        return UsageError("upgrade", "--user and --password are required");
    const bool retain = parsed.flags.count("--retain") > 0;
    const bool keepBackup = parsed.flags.count("--backup") > 0;
    if (keepBackup && !retain)
        return UsageError("upgrade", "--backup goes with --retain");
    const std::string& host = parsed.positional[0];
    net::Endpoint endpoint;
    if (!CgiClient::ParseHostText(host, endpoint))
        return UsageError("upgrade", "HOST must be a dotted IPv4 address, optionally with :PORT");

    if (StandInPackage())
        std::printf("note: this build carries the %s\n", kStandInNotice);
    StderrWindow window;
    ModelList models = SupportedModels();
    const std::string token = EncodeBasicToken(*user + ":" + *password);
    const std::string packageVersion = PackageVersion();
    auto upgrade = std::make_shared<CameraUpgrade>(host, &models, token, "ver" + packageVersion, "",
                                                   nullptr, nullptr, nullptr, &window, 0, false);
    bool lowMemory = false;
    std::string serial;
    if (!upgrade->CheckPreconditions(lowMemory, &serial))
        return 1;
    upgrade->serialText = serial;
    std::printf("current version: ver%s\nnew version: ver%s\n", upgrade->currentVersion.c_str(),
                packageVersion.c_str());

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

    std::shared_ptr<ConfigBackup> backup;
    if (retain) {
        PrintStep(step::kSavingConfig, &window);
        backup = std::make_shared<ConfigBackup>(host, ConfigCameraPath(models.Primary()), token,
                                                std::time(nullptr), models.Primary(), serial,
                                                !keepBackup);
        if (!backup->Download()) {
            window.MessageBox("Cannot save camera's configuration!", "Information",
                              MessageIcon::Stop, MessageButtons::Ok);
            return 1;
        }
        std::printf("saved: %s\n", backup->localPath.c_str());
    }

    upgrade->StartUpgrade(backup);
    int32_t shown = -1;
    for (;;) {
        int32_t now = upgrade->step;
        if (now != shown) {
            PrintStep(now, &window);
            shown = now;
        }
        if (IsFinalStep(now) || window.GoToPagePosts() > 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kTickPeriodMs));
        if (window.TimerActive(upgrade->TimerId()))
            upgrade->OnTick(upgrade->TimerId());
    }
    window.KillTimer(upgrade->TimerId());
    // Let the worker finish its last report before the workspace goes.
    upgrade->WaitForWorker(std::chrono::seconds(70));

    if (upgrade->step != step::kCompleted) {
        // A tick-out has told the operator already.
        if (IsFinalStep(upgrade->step))
            window.MessageBox(LoadUiText(206, &window), LoadUiText(203, &window), MessageIcon::Stop,
                              MessageButtons::Ok);
        return 1;
    }
    if (backup && !backup->restored)
        window.MessageBox("Fault to upload configuration!", "Information", MessageIcon::Stop,
                          MessageButtons::Ok);
    std::printf("upgraded to: %s\n", upgrade->currentVersion.c_str());
    if (backup && keepBackup && backup->restored)
        std::printf("kept: %s\n", backup->localPath.c_str());
    return 0;
}

}  // namespace vcq::cli
