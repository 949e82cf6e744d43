// batch: many cameras through the same engine as the wizard's automatic mode.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/batch_command.h"
#include "cli/batch_report.h"
#include "cli/camera_list_file.h"
#include "cli/commands.h"
#include "cli/credentials.h"
#include "cli/dry_run.h"
#include "cli/live_line.h"
#include "cli/options.h"
#include "cli/parallel.h"
#include "cli/retry_log.h"
#include "cli/stderr_window.h"
#include "discovery/broadcast_guard.h"
#include "package/workspace.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/terminal.h"
#include "protocol/camera_replies.h"
#include "protocol/cgi_client.h"
#include "protocol/config_backup.h"
#include "upgrade/batch_engine.h"
#include "upgrade/batch_estimate.h"
#include "upgrade/job_values.h"
#include "upgrade/manual_flow.h"
#include "upgrade/steps.h"
#include "upgrade/upgrade_session.h"

namespace vcq::cli {
namespace {

// Set from a signal handler or, on Windows, the console's own thread. The
// first Ctrl-C asks for an abort; a second one, or any request to end, stops
// the cameras under way at once.
std::atomic<int> g_interrupted{0};
std::atomic<bool> g_stopNow{false};
void OnInterrupt() {
    if (g_interrupted.fetch_add(1) >= 1)
        g_stopNow = true;
}
void OnStop() {
    g_stopNow = true;
}

// What an aborted batch still waits for, every few seconds until it ends.
constexpr auto kWaitingReportEvery = std::chrono::seconds(5);

// VCQ_BATCH_STATS: the time-left estimate as the live line would show it at
// the first completed camera, at half and at three quarters, held against
// the batch's real end.
class EstimateProbe {
  public:
    void Begin(const BatchEngine& engine) {
        start_ = std::chrono::steady_clock::now();
        timeline_.Begin(engine, 0);
    }
    void Observe(const BatchEngine& engine) {
        const double now = Now();
        timeline_.Observe(engine, now);
        size_t completed = 0;
        for (size_t i = 0; i < engine.RowCount(); ++i)
            completed += engine.Row(i).end.finalStep == step::kCompleted ? 1 : 0;
        const size_t rows = engine.RowCount();
        const size_t marks[] = {1, (rows + 1) / 2, (3 * rows + 3) / 4};
        for (size_t k = 0; k < 3; ++k) {
            if (!taken_[k] && completed >= marks[k] && completed < rows) {
                taken_[k] = true;
                lines_[k] = {completed, now, timeline_.SecondsLeft(now)};
            }
        }
    }
    void Print(size_t rows) const {
        const double end = Now();
        for (size_t k = 0; k < 3; ++k) {
            if (!taken_[k])
                continue;
            const Mark& m = lines_[k];
            const double real = end - m.at;
            if (m.left)
                std::fprintf(stderr,
                             "estimate at %zu/%zu completed (%.1f s): %.1f s left, really %.1f "
                             "s, error %+.1f s (%+.1f%%)\n",
                             m.completed, rows, m.at, *m.left, real, *m.left - real,
                             real > 0 ? 100 * (*m.left - real) / real : 0.0);
            else
                std::fprintf(stderr,
                             "estimate at %zu/%zu completed (%.1f s): none shown, really %.1f s\n",
                             m.completed, rows, m.at, real);
        }
    }

  private:
    struct Mark {
        size_t completed = 0;
        double at = 0;
        std::optional<double> left;
    };
    double Now() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }
    BatchTimeline timeline_;
    std::chrono::steady_clock::time_point start_{};
    bool taken_[3] = {};
    Mark lines_[3];
};
// After a stop, how long the tool lets its cameras' threads end.
constexpr auto kStopBound = std::chrono::seconds(2);
constexpr int kStoppedExit = 130;

void ReportWaiting(const BatchEngine& engine, const std::vector<size_t>& rows) {
    if (rows.empty())
        return;
    std::string text = "batch: waiting for " + std::to_string(rows.size()) +
                       (rows.size() == 1 ? " camera:" : " cameras:");
    for (size_t i : rows) {
        const BatchRow& row = engine.Row(i);
        text += " " + row.idText + " " + row.addressText + " (" +
                (row.step == step::kNotStarted ? std::string("checking") : row.statusText) + ")";
    }
    std::fprintf(stderr, "%s; Ctrl-C again stops them now\n", text.c_str());
}

std::array<uint8_t, 4> Octets(uint32_t address) {
    return {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
}

// Asks on the terminal; anything but "y" or "yes" is a no, and so is Ctrl-C.
bool Confirm(const std::string& question) {
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer) || g_interrupted)
        return false;
    return answer == "y" || answer == "Y" || answer == "yes";
}

void PrintStatus(const BatchRow& row) {
    std::printf("%s %s %s\n", row.idText.c_str(), row.addressText.c_str(), row.statusText.c_str());
    std::fflush(stdout);
}

// 0 when nothing failed: each camera completed, was up to date or was set
// aside on purpose (another generation); 3 when every shortfall is a
// configuration that did not come back (the cameras are upgraded, the files
// kept); else 1.
int BatchExitCode(const OutcomeCounts& counts) {
    if (counts[BatchOutcome::Failed] > 0 || counts[BatchOutcome::NotStarted] > 0)
        return 1;
    return counts[BatchOutcome::ConfigNotRestored] > 0 ? kNotRestored : 0;
}

void PrintLine(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// The cameras whose upgrade must run again, for `--csv` to take back; false
// with a message when the file cannot be written.
bool WriteFailedList(const std::string& path, const BatchEngine& engine) {
    const bool ok = files::WriteWholeFile(path, NotCompletedList(engine));
    if (!ok)
        std::fprintf(stderr, "batch: cannot write the failed list %s\n", path.c_str());
    return ok;
}

}  // namespace

void IdentifyCameras(std::vector<BatchCamera>& cameras) {
    ForEachAtOnce(cameras.size(), [&](size_t i) {
        BatchCamera& camera = cameras[i];
        const std::string host = CameraHostText(camera.ip, camera.port);
        const CameraIdentity identity = ReadIdentity(InquireCamera(
            host, EncodeBasicToken(camera.user + ":" + camera.password), "inq=sysinfo"));
        camera.model = identity.model;
        camera.version = identity.version;
        // Its job's check reads the serial again: never the address in its place.
        camera.serial = identity.serial;
        camera.dhcp = identity.dhcp;
    });
}

// The cameras of the batch, in order: the addresses given, those of the
// camera list, then those discovery found that are not given already; the
// cameras of the logins file when none of these is asked for. Each with its
// login. False with `error` set.
bool CollectBatchCameras(const ParsedArgs& parsed, const BatchLogins& logins,
                         std::vector<BatchCamera>& cameras, std::string& error) {
    BatchCamera login;
    std::set<uint32_t> addresses;  // a camera's address, whatever its port
    int secondAfter = 5000;
    int stopAfter = 10000;
    if ((parsed.Option("--second-after") &&
         !ParseMillis(*parsed.Option("--second-after"), secondAfter)) ||
        (parsed.Option("--stop-after") &&
         !ParseMillis(*parsed.Option("--stop-after"), stopAfter)) ||
        secondAfter > stopAfter) {
        error = "--second-after and --stop-after want milliseconds, the first not the larger";
        return false;
    }
    auto tooMany = [&] {
        error = "at most " + std::to_string(kBatchMaxRows) + " cameras in one batch";
        return false;
    };
    if (parsed.positional.size() > kBatchMaxRows)
        return tooMany();
    auto add = [&](const std::array<uint8_t, 4>& ip, int32_t port) {
        const uint32_t address =
            uint32_t{ip[0]} << 24 | uint32_t{ip[1]} << 16 | uint32_t{ip[2]} << 8 | uint32_t{ip[3]};
        if (!addresses.insert(address).second) {
            error = net::FormatIpv4(address) + " is given more than once";
            return false;
        }
        BatchCamera camera = login;
        camera.ip = ip;
        camera.port = port;
        cameras.push_back(camera);
        return true;
    };

    for (const std::string& host : parsed.positional) {
        net::Endpoint endpoint;
        if (!CgiClient::ParseHostText(host, endpoint)) {
            error = "\"" + host + "\" is not a dotted IPv4 address with an optional :PORT";
            return false;
        }
        if (!add(Octets(endpoint.address), endpoint.port))
            return false;
    }
    // A camera list as the wizard loads it: refused whole, with its messages.
    if (auto source = parsed.Option("--csv")) {
        StderrWindow window;
        std::vector<CameraAddress> listed;
        if (!LoadCameraList(*source, window, listed, error))
            return false;
        for (const CameraAddress& entry : listed) {
            if (!add(entry.ip, entry.port))
                return false;
        }
    }
    if (parsed.positional.empty() && !parsed.Option("--csv") && !parsed.flags.count("--discover"))
        for (const CameraLogin& entry : logins.perCamera)
            if (!add(entry.ip, entry.port))
                return false;
    if (!ApplyLogins(logins.perCamera, logins.shared, cameras, error))
        return false;
    IdentifyCameras(cameras);

    if (parsed.flags.count("--discover")) {
        for (const CameraRecord& r : DiscoverCameras(secondAfter, stopAfter)) {
            BatchCamera camera = login;
            camera.ip = {r.ip[0], r.ip[1], r.ip[2], r.ip[3]};
            if (!addresses.insert(r.address()).second)
                continue;
            camera.port = r.webPort > 0 ? r.webPort : 80;
            camera.dhcp = r.dhcp != 0;
            camera.model = r.model;
            camera.version = r.softVersion;
            camera.serial = r.serial;
            cameras.push_back(camera);
        }
    }
    if (cameras.size() > kBatchMaxRows)
        return tooMany();
    return ApplyLogins(logins.perCamera, logins.shared, cameras, error);
}

int RunBatch(const Args& args) {
    ParsedArgs parsed =
        ParseArgs(args,
                  Words({kLoginOptions,
                         {"--logins", "--second-after", "--stop-after", "--csv", "--failed-list",
                          "--in-service", "--max-failures"}}),
                  Words({kRetainFlags,
                         {"--discover", "--allow-broadcast", "--yes", "--allow-reset",
                          "--allow-downgrade", "--reflash", "--json", "--dry-run"}}));
    if (!parsed.error.empty())
        return UsageError("batch", parsed.error);
    if (parsed.positional.empty() && !parsed.Option("--csv") && !parsed.flags.count("--discover") &&
        !parsed.Option("--logins"))
        return UsageError("batch", "give the cameras' addresses, --csv, --discover, or more");
    const bool dryRun = parsed.flags.count("--dry-run") > 0;
    // A question nobody can answer is the script's mistake, found before any
    // camera is asked anything. The question before the batch would also
    // read the rest of a list on standard input.
    if (!dryRun && !parsed.flags.count("--yes")) {
        if (parsed.Option("--csv") == "-")
            return UsageError("batch", "--csv - takes standard input, so it needs --yes");
        if (!sys::IsTerminal(sys::StdStream::Input))
            return UsageError("batch", "no terminal to ask for confirmation on: give --yes");
    }
    std::string error;
    const std::optional<BatchChoices> choices = ReadBatchChoices(parsed, error);
    if (!choices)
        return UsageError("batch", error);

    // The enquiry is a broadcast to the whole segment: in a development
    // build never by accident.
    if (parsed.flags.count("--discover") &&
        !BroadcastAllowed(parsed.flags.count("--allow-broadcast") > 0)) {
        std::fprintf(stderr,
                     "batch: refusing to broadcast on this network; run it inside "
                     "tests/isolated or pass --allow-broadcast\n");
        return kDiscoverRefused;
    }

    BatchLogins logins;
    if (!ReadBatchLogins(parsed, logins, error))
        return UsageError("batch", error);
    const ModelList models = SupportedModels();
    std::vector<BatchCamera> cameras;
    if (!CollectBatchCameras(parsed, logins, cameras, error))
        return UsageError("batch", error);
    if (cameras.empty()) {
        std::fprintf(stderr, "batch: no camera to upgrade\n");
        return 1;
    }

    // A camera at 1.08 or 1.09 loses its settings, IP address included: only
    // --allow-reset agrees to that (--yes answers the other question only).
    const bool allowReset = parsed.flags.count("--allow-reset") > 0;
    const bool allowDowngrade = parsed.flags.count("--allow-downgrade") > 0;
    const bool reflash = parsed.flags.count("--reflash") > 0;
    // Ids are places in the list as given, in the dry run, the run and its retries.
    for (size_t i = 0; i < cameras.size(); ++i)
        cameras[i].id = static_cast<int32_t>(i + 1);
    // The jobs' own checks apply the same consents to what each camera says
    // at its turn.
    for (BatchCamera& camera : cameras) {
        camera.resetAgreed = allowReset;
        camera.downgradeAgreed = allowDowngrade;
        camera.reflash = reflash;
    }
    if (dryRun)
        return RunDryRun(cameras, models, choices->retain, choices->json);
    // Up to date (unless reflashed) or of another generation: left alone.
    const std::vector<SetAside> setAside = SetAsideBeforeBatch(cameras, PackageVersion(), reflash);
    return RunCameraBatch("batch", *choices, cameras, setAside);
}

std::optional<BatchChoices> ReadBatchChoices(const ParsedArgs& parsed, std::string& error) {
    const std::optional<RetainChoice> choice = ReadRetainChoice(parsed, error);
    if (!choice)
        return std::nullopt;
    BatchChoices choices;
    choices.retain = choice->retain;
    choices.keepBackup = choice->keepBackup;
    choices.json = parsed.flags.count("--json") > 0;
    choices.yes = parsed.flags.count("--yes") > 0;
    choices.failedList = parsed.Option("--failed-list");
    if (auto given = parsed.Option("--in-service")) {
        char* end = nullptr;
        const long n = std::strtol(given->c_str(), &end, 10);
        if (given->empty() || *end != '\0' || n < 1 ||
            n > static_cast<long>(kBatchMaxInServiceLimit)) {
            error =
                "--in-service wants a number from 1 to " + std::to_string(kBatchMaxInServiceLimit);
            return std::nullopt;
        }
        choices.inService = static_cast<size_t>(n);
    }
    if (auto given = parsed.Option("--max-failures")) {
        char* end = nullptr;
        const long n = std::strtol(given->c_str(), &end, 10);
        if (given->empty() || *end != '\0' || n < 1 || n > static_cast<long>(kBatchMaxRows)) {
            error = "--max-failures wants a number from 1 to " + std::to_string(kBatchMaxRows);
            return std::nullopt;
        }
        choices.maxFailures = static_cast<size_t>(n);
    }
    return choices;
}

int RunCameraBatch(const char* command, const BatchChoices& choices,
                   const std::vector<BatchCamera>& cameras, const std::vector<SetAside>& setAside) {
    const ModelList models = SupportedModels();
    for (const BatchCamera& camera : cameras) {
        if (!camera.resetAgreed && camera.retry.action == RetryAction::Upgrade &&
            DecideVersionGate(camera.version, PackageVersion()) == VersionGate::ResetQuestion)
            std::fprintf(stderr, "%s: %s reports %s: %s It is left out unless --allow-reset.\n",
                         command, CameraHostText(camera.ip, camera.port).c_str(),
                         EscapeControls(camera.version).c_str(), kResetQuestionText);
    }

    auto window = std::make_shared<StderrWindow>();
    auto resources = std::make_shared<BatchResources>();
    resources->models = models;
    resources->targetVersion = "ver" + PackageVersion();
    resources->window = window;
    resources->workspace = std::make_shared<PackageWorkspace>();
    resources->workspace->LoadPackage(window.get());
    // The session outlives every check and worker it started, within a
    // bound; its workspace goes with the last of them. From here Ctrl-C ends
    // the tool through this function.
    UpgradeSession session(std::move(resources));
    sys::CatchInterruptAndStop(OnInterrupt, OnStop);
    // A laptop asleep mid-upload or mid-restore leaves a camera half done.
    const sys::StayAwake awake;

    BatchEngine& engine = session.Engine();
    engine.SetMaxInService(choices.inService);
    engine.SetMaxFailures(choices.maxFailures);
    for (const BatchCamera& camera : cameras)
        engine.AddCamera(camera);
    session.SetAsideBefore(setAside);
    LiveLine live(!choices.json && sys::IsTerminal(sys::StdStream::Output));

    // The session records every event and saves them beside the log; this
    // front end prints them, or the status lines.
    struct Printer : UpgradeSession::Listener {
        std::function<void(const std::string&)> recorded;
        std::function<void(size_t)> changed;
        void Recorded(const std::string& event) override { recorded(event); }
        void StatusChanged(size_t row) override { changed(row); }
    } printer;
    printer.recorded = [&](const std::string& event) {
        if (choices.json)
            PrintLine(event);
    };
    printer.changed = [&](size_t i) {
        live.Clear();
        if (!choices.json)
            PrintStatus(engine.Row(i));
    };
    session.SetListener(&printer);
    session.Announce();
    if (!choices.json)
        for (const SetAside& camera : setAside)
            PrintLine(SetAsideLine(camera));
    if (!cameras.empty() && !choices.yes && !Confirm(LoadUiText(209, window.get()))) {
        std::fprintf(stderr, "%s: not confirmed; nothing was started\n", command);
        if (choices.failedList)
            WriteFailedList(*choices.failedList, engine);
        return g_interrupted ? kStoppedExit : 1;
    }
    engine.SetSharedSettings(choices.retain, !choices.keepBackup, std::time(nullptr));
    live.Begin(engine);

    using Clock = std::chrono::steady_clock;
    session.Begin(Clock::now());
    const bool stats = std::getenv("VCQ_BATCH_STATS") != nullptr;
    EstimateProbe probe;
    if (stats)
        probe.Begin(engine);
    bool stopping = false;
    auto nextReport = Clock::time_point::max();
    while (session.Running()) {
        const auto now = Clock::now();
        if (g_interrupted && !engine.CancelRequested()) {
            std::fprintf(stderr, "%s: aborting; cameras under way finish, the others stay\n",
                         command);
            engine.RequestCancel();
            nextReport = now;
        }
        if (g_stopNow && !stopping) {
            stopping = true;
            std::fprintf(stderr, "%s: stopping now; the cameras under way are cut off\n", command);
            engine.StopNow();
        }
        live.Update(engine);
        if (!stopping && now >= nextReport) {
            ReportWaiting(engine, session.UnderWay());
            nextReport = now + kWaitingReportEvery;
        }
        session.Pulse(now);
        if (stats)
            probe.Observe(engine);
        std::this_thread::sleep_until(session.NextPulse());
    }
    if (stats)
        probe.Print(engine.RowCount());

    live.End();
    const OutcomeCounts counts = session.Counts();
    const bool leftAlone = session.LeftAlone();
    const UpgradeSession::Saved saved = session.SaveRecords(false);
    session.SetListener(nullptr);
    const std::string& logPath = saved.logPath;
    if (!saved.error.empty())
        std::fprintf(stderr, "%s: %s\n", command,
                     logPath.empty() ? ("the upgrade log was not saved: " + saved.error).c_str()
                                     : saved.error.c_str());
    if (!choices.json) {
        if (auto counter = engine.PollCounter())
            std::printf("Proceeded: %s\n", counter->text.c_str());
        if (!logPath.empty())
            std::printf("Log file: %s\n", logPath.c_str());
        else if (leftAlone)
            std::printf("Log file: none saved, every camera was left as it was\n");
        std::printf("Upgrade log\n%s", ConsoleText(session.LogText(false)).c_str());
        std::fflush(stdout);
        for (size_t i = 0; i < engine.RowCount(); ++i) {
            const BatchRow& row = engine.Row(i);
            if (const std::string note = RowNote(row); !note.empty())
                std::fprintf(stderr, "%s %s: %s\n", row.idText.c_str(), row.addressText.c_str(),
                             note.c_str());
        }
        if (engine.StoppedAfterFailures())
            PrintLine(StoppedAfterFailuresLine(engine.MaxFailures(), counts));
        PrintLine(SummaryLine(counts));
    }
    const bool listWritten = !choices.failedList || WriteFailedList(*choices.failedList, engine);
    sys::StopHandled();
    if (stats)
        std::fprintf(stderr, "longest tick: %.1f ms\n",
                     std::chrono::duration<double, std::milli>(session.LongestTick()).count());
    // Checks and workers given up on may still be inside an exchange: let
    // them end before the tool does; after a stop, only briefly.
    if (stopping) {
        session.Close(kStopBound);
        return kStoppedExit;
    }
    session.Close(UpgradeSession::kCloseBound);
    // A first Ctrl-C let the cameras under way end: still the operator's stop.
    if (g_interrupted)
        return kStoppedExit;
    return listWritten ? BatchExitCode(counts) : 1;
}

}  // namespace vcq::cli
