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

#include "cli/batch_report.h"
#include "cli/camera_list_file.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/stderr_window.h"
#include "discovery/broadcast_guard.h"
#include "package/workspace.h"
#include "platform/files.h"
#include "platform/system.h"
#include "protocol/cgi_client.h"
#include "protocol/config_backup.h"
#include "upgrade/batch_engine.h"
#include "upgrade/batch_run.h"
#include "upgrade/camera_upgrade.h"
#include "upgrade/manual_flow.h"

namespace vcq::cli {
namespace {

// Set from a signal handler or, on Windows, the console's own thread.
std::atomic<int> g_interrupted{0};
void OnInterrupt() {
    g_interrupted = 1;
}

// Ctrl-C asks for an abort once; a second one ends the tool the usual way.
void CatchInterrupt() {
    sys::CatchInterrupt(OnInterrupt, true);
}

constexpr int kIdentifyThreads = 16;

// Model, version, serial and DHCP flag of cameras given by address, asked
// of the cameras themselves, several at a time. A camera that does not
// answer keeps its address as its serial, so that its backup file name
// stays its own; its check ends it anyway.
void IdentifyCameras(std::vector<BatchCamera>& cameras) {
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < cameras.size(); i = next++) {
            BatchCamera& camera = cameras[i];
            const std::string host = CameraHostText(camera.ip, camera.port);
            const CameraIdentity identity = ReadIdentity(InquireCamera(
                host, EncodeBasicToken(camera.user + ":" + camera.password), "inq=sysinfo"));
            camera.model = identity.model;
            camera.version = identity.version;
            camera.serial = identity.serial;
            camera.dhcp = identity.dhcp;
            if (camera.serial.empty()) {
                camera.serial = host;
                std::replace(camera.serial.begin(), camera.serial.end(), ':', '-');
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kIdentifyThreads && static_cast<size_t>(t) < cameras.size(); ++t)
        threads.emplace_back(work);
    for (auto& thread : threads)
        thread.join();
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

// 0 when every camera completed; 3 when every shortfall is a configuration
// that did not come back (the cameras are upgraded, the files kept); else 1.
int BatchExitCode(const BatchEngine& engine) {
    int code = 0;
    for (size_t i = 0; i < engine.RowCount(); ++i) {
        const int32_t outcome = engine.Row(i).finalStep;
        if (outcome == step::kNotRestored)
            code = kNotRestored;
        else if (outcome != step::kCompleted)
            return 1;
    }
    return code;
}

void PrintLine(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// The cameras that did not complete, for `--csv` to take back; false with a
// message when the file cannot be written.
bool WriteFailedList(const std::string& path, const BatchEngine& engine) {
    const std::string list = NotCompletedList(engine);
    std::FILE* file = files::OpenFile(path, "wb");
    bool ok = file && std::fwrite(list.data(), 1, list.size(), file) == list.size();
    if (file && std::fclose(file) != 0)
        ok = false;
    if (!ok)
        std::fprintf(stderr, "batch: cannot write the failed list %s\n", path.c_str());
    return ok;
}

}  // namespace

// The cameras of the batch, in order: the addresses given, then those
// discovery found that are not given already. False with `error` set.
bool CollectBatchCameras(const ParsedArgs& parsed, std::vector<BatchCamera>& cameras,
                         std::string& error) {
    BatchCamera login;
    login.user = parsed.Option("--user").value_or("");
    login.password = parsed.Option("--password").value_or("");
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
    return cameras.size() <= kBatchMaxRows || tooMany();
}

int RunBatch(const Args& args) {
    ParsedArgs parsed = ParseArgs(args,
                                  {"--user", "--password", "--second-after", "--stop-after",
                                   "--csv", "--failed-list", "--in-service"},
                                  {"--discover", "--allow-broadcast", "--retain", "--backup",
                                   "--yes", "--allow-reset", "--json"});
    if (!parsed.error.empty())
        return UsageError("batch", parsed.error);
    if (!parsed.Option("--user") || !parsed.Option("--password"))
        return UsageError("batch", "--user and --password are required");
    if (parsed.positional.empty() && !parsed.Option("--csv") && !parsed.flags.count("--discover"))
        return UsageError("batch", "give the cameras' addresses, --csv, --discover, or more");
    // The question before the batch would read the rest of the list.
    if (parsed.Option("--csv") == "-" && !parsed.flags.count("--yes"))
        return UsageError("batch", "--csv - takes standard input, so it needs --yes");
    const bool retain = parsed.flags.count("--retain") > 0;
    const bool keepBackup = parsed.flags.count("--backup") > 0;
    if (keepBackup && !retain)
        return UsageError("batch", "--backup goes with --retain");
    const bool json = parsed.flags.count("--json") > 0;
    const std::optional<std::string> failedList = parsed.Option("--failed-list");
    size_t inService = kBatchMaxInService;
    if (auto given = parsed.Option("--in-service")) {
        char* end = nullptr;
        const long n = std::strtol(given->c_str(), &end, 10);
        if (given->empty() || *end != '\0' || n < 1 ||
            n > static_cast<long>(kBatchMaxInServiceLimit))
            return UsageError("batch", "--in-service wants a number from 1 to " +
                                           std::to_string(kBatchMaxInServiceLimit));
        inService = static_cast<size_t>(n);
    }

    // The enquiry is a broadcast to the whole segment: in a development
    // build never by accident.
    if (parsed.flags.count("--discover") &&
        !BroadcastAllowed(parsed.flags.count("--allow-broadcast") > 0)) {
        std::fprintf(stderr,
                     "batch: refusing to broadcast on this network; run it inside "
                     "tests/isolated or pass --allow-broadcast\n");
        return kDiscoverRefused;
    }

    const ModelList models = SupportedModels();
    std::vector<BatchCamera> cameras;
    std::string error;
    if (!CollectBatchCameras(parsed, cameras, error))
        return UsageError("batch", error);
    if (cameras.empty()) {
        std::fprintf(stderr, "batch: no camera to upgrade\n");
        return 1;
    }

    // A camera at 1.08 or 1.09 loses its settings, IP address included: only
    // --allow-reset agrees to that (--yes answers the other question only).
    const bool allowReset = parsed.flags.count("--allow-reset") > 0;
    for (BatchCamera& camera : cameras) {
        camera.resetAgreed = allowReset;
        if (!allowReset &&
            DecideVersionGate(camera.version, PackageVersion()) == VersionGate::ResetQuestion)
            std::fprintf(stderr, "batch: %s reports %s: %s It is left out unless --allow-reset.\n",
                         CameraHostText(camera.ip, camera.port).c_str(), camera.version.c_str(),
                         kResetQuestionText);
    }

    auto window = std::make_shared<StderrWindow>();
    auto resources = std::make_shared<BatchResources>();
    resources->models = models;
    resources->targetVersion = "ver" + PackageVersion();
    resources->window = window;
    resources->workspace = std::make_shared<PackageWorkspace>();
    resources->workspace->LoadPackage(window.get());
    // The run outlives every check and worker it started, within a bound; its
    // workspace goes with the last of them. From here Ctrl-C ends the tool
    // through this function.
    BatchRun run(std::move(resources));
    CatchInterrupt();

    BatchEngine& engine = run.Engine();
    engine.SetMaxInService(inService);
    for (const BatchCamera& camera : cameras)
        engine.AddCamera(camera);
    auto show = [&](size_t i) {
        if (json)
            PrintLine(StatusEvent(engine.Row(i), engine.Camera(i)));
        else
            PrintStatus(engine.Row(i));
    };
    std::vector<std::string> shown(engine.RowCount());
    for (size_t i = 0; i < engine.RowCount(); ++i) {
        show(i);
        shown[i] = engine.Row(i).statusText;
    }
    if (!parsed.flags.count("--yes") && !Confirm(LoadUiText(209, window.get()))) {
        std::fprintf(stderr, "batch: not confirmed; nothing was started\n");
        if (failedList)
            WriteFailedList(*failedList, engine);
        return 1;
    }
    engine.SetSharedSettings(retain, !keepBackup, std::time(nullptr));

    using Clock = std::chrono::steady_clock;
    auto nextTick = Clock::now();
    Clock::duration longestTick{};  // what a window driving the engine would stall
    auto nextSecond = nextTick + std::chrono::milliseconds(kTickPeriodMs);
    std::vector<bool> ended(engine.RowCount(), false);
    auto showEnd = [&](size_t i) {
        ended[i] = true;
        if (json)
            PrintLine(EndEvent(engine.Row(i), engine.Camera(i)));
    };
    for (bool running = true; running;) {
        if (g_interrupted && !engine.CancelRequested()) {
            std::fprintf(stderr, "batch: aborting; cameras under way finish, the others stay\n");
            engine.RequestCancel();
        }
        auto tickStart = Clock::now();
        running = engine.Tick();
        longestTick = std::max(longestTick, Clock::now() - tickStart);
        for (size_t i : engine.TakeChangedRows()) {
            if (engine.Row(i).statusText != shown[i]) {
                shown[i] = engine.Row(i).statusText;
                show(i);
            }
            if (!ended[i] && IsFinalStep(engine.Row(i).finalStep))
                showEnd(i);
        }
        if (Clock::now() >= nextSecond) {
            nextSecond += std::chrono::milliseconds(kTickPeriodMs);
            for (uint32_t id : window->Timers())
                if (!engine.OnCameraTimer(id))
                    window->KillTimer(id);
        }
        // Keep the pace without a burst of catch-up ticks after a stall.
        nextTick = std::max(nextTick + std::chrono::milliseconds(kBatchTickMs),
                            Clock::now() - std::chrono::milliseconds(kBatchTickMs));
        std::this_thread::sleep_until(nextTick);
    }

    // Cameras an abort dropped end here.
    for (size_t i = 0; i < engine.RowCount(); ++i)
        if (!ended[i])
            showEnd(i);
    // The log goes beside the batch's backups, whether or not any was kept.
    std::string logError;
    const std::string logPath =
        WriteUpgradeLog(engine.Settings().startTime, engine.LogText(), logError);
    if (logPath.empty())
        std::fprintf(stderr, "batch: the upgrade log was not saved: %s\n", logError.c_str());
    if (json) {
        PrintLine(SummaryEvent(engine, logPath));
    } else {
        if (auto counter = engine.PollCounter())
            std::printf("Proceeded: %s\n", counter->text.c_str());
        if (!logPath.empty())
            std::printf("Log file: %s\n", logPath.c_str());
        std::printf("Upgrade log\n%s", engine.LogText().c_str());
        std::fflush(stdout);
        for (size_t i = 0; i < engine.RowCount(); ++i) {
            const BatchRow& row = engine.Row(i);
            if (!row.failureDetail.empty())
                std::fprintf(stderr, "%s %s: %s\n", row.idText.c_str(), row.addressText.c_str(),
                             row.failureDetail.c_str());
        }
    }
    const bool listWritten = !failedList || WriteFailedList(*failedList, engine);
    if (std::getenv("VCQ_BATCH_STATS"))
        std::fprintf(stderr, "longest tick: %.1f ms\n",
                     std::chrono::duration<double, std::milli>(longestTick).count());
    // Checks and workers given up on may still be inside an exchange: let
    // them end before the tool does.
    run.Finish(BatchRun::kFinishBound);
    return listWritten ? BatchExitCode(engine) : 1;
}

}  // namespace vcq::cli
