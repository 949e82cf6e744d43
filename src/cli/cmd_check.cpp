#include <cstdio>
#include <utility>

#include "cli/commands.h"
#include "cli/credentials.h"
#include "cli/options.h"
#include "cli/stderr_window.h"
#include "package/resources.h"
#include "protocol/cgi_client.h"
#include "upgrade/camera_upgrade.h"
#include "upgrade/manual_flow.h"
#include "upgrade/pre_batch.h"

namespace vcq::cli {
ModelList SupportedModels() {
    static StderrWindow window;
    return LoadModelList(&window);
}

int RunCheck(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, kLoginOptions);
    if (!parsed.error.empty())
        return UsageError("check", parsed.error);
    std::string error;
    const std::optional<OneCamera> one = ReadOneCamera(parsed, 1, true, error);
    if (!one)
        return UsageError("check", error);
    const std::string& host = one->host;

    ModelList models = SupportedModels();
    CameraUpgrade camera(CameraJob(host, one->token, models), std::make_shared<StderrWindow>(), 0,
                         false);
    bool lowMemory = false;
    std::string serial;
    bool passed = camera.CheckPreconditions(lowMemory, &serial);

    std::string model;
    int32_t index = 0;
    std::string version, unusedSerial;
    camera.ParseIdentity(camera.SysinfoText(), index, model, version, unusedSerial);
    // What the camera did not tell (a refused login, no answer) is left out
    // rather than printed empty: its reason is on stderr. Its texts are
    // escaped: they cannot write lines of their own.
    for (const auto& [key, value] : {std::pair<const char*, const std::string&>{"model", model},
                                     {"version", camera.CurrentVersion()},
                                     {"serial", serial}})
        if (!value.empty())
            std::printf("%s: %s\n", key, EscapeControls(value).c_str());
    // A reply the check could not read fails without a message: say why.
    if (!passed && !camera.FailureDetail().empty())
        std::fprintf(stderr, "%s\n", camera.FailureDetail().c_str());
    if (!passed)
        return 1;
    switch (DecidePreBatch(camera.CurrentVersion(), PackageVersion())) {
        case PreBatch::NotUpgradable:
            std::fprintf(stderr, "%s\n", kVersionRefusedText);
            return 1;
        case PreBatch::UpToDate:
            std::printf("%s: %s\n", PreBatchNotice(PreBatch::UpToDate).c_str(),
                        PreBatchReason(PreBatch::UpToDate).c_str());
            break;
        case PreBatch::ResetFirst:
            std::fprintf(stderr, "%s\n", kResetQuestionText);
            break;
        case PreBatch::Newer:
            std::fprintf(stderr, "%s: installed only with --allow-downgrade\n",
                         NewerFirmwareText(camera.CurrentVersion(), PackageVersion()).c_str());
            break;
        case PreBatch::Upgrade:
            break;
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace vcq::cli
