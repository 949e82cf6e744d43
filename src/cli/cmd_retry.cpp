// retry: the cameras of an earlier batch that did not complete, run again
// as their ends ask: an upgraded camera only gets its configuration back.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/batch_command.h"
#include "cli/commands.h"
#include "cli/credentials.h"
#include "cli/dry_run.h"
#include "cli/retry_log.h"
#include "package/resources.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/terminal.h"
#include "upgrade/retry_plan.h"

namespace vcq::cli {

int RunRetry(const Args& args) {
    ParsedArgs parsed = ParseArgs(
        args,
        Words({kLoginOptions, {"--logins", "--failed-list", "--in-service", "--max-failures"}}),
        Words(
            {kRetainFlags,
             {"--yes", "--allow-reset", "--allow-downgrade", "--json", "--dry-run", "--reflash"}}));
    if (!parsed.error.empty())
        return UsageError("retry", parsed.error);
    if (parsed.positional.size() != 1)
        return UsageError("retry",
                          "give one LOG: the path the batch printed on `Log file:`, its "
                          ".jsonl events or the batch's folder");
    const bool dryRun = parsed.flags.count("--dry-run") > 0;
    const bool reflash = parsed.flags.count("--reflash") > 0;
    if (!dryRun && !parsed.flags.count("--yes") && !sys::IsTerminal(sys::StdStream::Input))
        return UsageError("retry", "no terminal to ask for confirmation on: give --yes");
    std::string error;
    const std::optional<BatchChoices> choices = ReadBatchChoices(parsed, error);
    if (!choices)
        return UsageError("retry", error);
    BatchLogins logins;
    if (!ReadBatchLogins(parsed, logins, error))
        return UsageError("retry", error);

    const std::string eventsPath = EventsPathFor(parsed.positional.front(), error);
    std::string events;
    if (eventsPath.empty() || !files::ReadWholeFile(eventsPath, events)) {
        std::fprintf(stderr, "retry: %s\n",
                     eventsPath.empty() ? error.c_str() : ("cannot read " + eventsPath).c_str());
        return 1;
    }
    std::vector<LoggedCamera> logged;
    if (!ReadBatchEvents(events, logged, error)) {
        std::fprintf(stderr, "retry: %s is not a batch's events: %s\n", eventsPath.c_str(),
                     error.c_str());
        return 1;
    }
    std::vector<BatchCamera> cameras;
    for (const LoggedCamera& camera : logged) {
        const RetryPlan plan = PlanRetry(camera.end);
        if (plan.action == RetryAction::None)
            continue;
        cameras.push_back(camera.camera);
        cameras.back().retry = plan;
    }
    if (cameras.empty()) {
        std::printf(
            "retry: every camera of that batch completed or was left alone; nothing "
            "to do\n");
        return 0;
    }
    if (!ApplyLogins(logins.perCamera, logins.shared, cameras, error))
        return UsageError("retry", error);

    // The cameras as they are now; one that does not answer keeps the
    // batch's names for its row, and its check ends it.
    const std::vector<BatchCamera> before = cameras;
    IdentifyCameras(cameras);
    const bool allowReset = parsed.flags.count("--allow-reset") > 0;
    const bool allowDowngrade = parsed.flags.count("--allow-downgrade") > 0;
    std::vector<BatchCamera> run;
    std::vector<SetAside> setAside;
    for (size_t i = 0; i < cameras.size(); ++i) {
        BatchCamera& camera = cameras[i];
        if (camera.model.empty())
            camera.model = before[i].model;
        camera.resetAgreed = allowReset;
        camera.downgradeAgreed = allowDowngrade;
        camera.reflash = reflash;
        // Only a camera to upgrade anew may turn out up to date or not
        // upgradable; the others are checked by their jobs.
        std::vector<BatchCamera> one{camera};
        if (camera.retry.action == RetryAction::Upgrade) {
            std::vector<SetAside> aside = SetAsideBeforeBatch(one, PackageVersion(), reflash);
            setAside.insert(setAside.end(), aside.begin(), aside.end());
        }
        run.insert(run.end(), one.begin(), one.end());
    }
    if (dryRun)
        return RunDryRun(cameras, SupportedModels(), choices->retain, choices->json);
    return RunCameraBatch("retry", *choices, run, setAside);
}

}  // namespace vcq::cli
