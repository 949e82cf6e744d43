// batch: many cameras through the same engine as the wizard's automatic mode.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/camera_list_file.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/stderr_window.h"
#include "discovery/broadcast_guard.h"
#include "package/workspace.h"
#include "platform/system.h"
#include "protocol/cgi_client.h"
#include "upgrade/batch_engine.h"
#include "upgrade/camera_upgrade.h"

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
void IdentifyCameras(std::vector<BatchCamera>& cameras, const ModelList& models) {
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < cameras.size(); i = next++) {
            BatchCamera& camera = cameras[i];
            const std::string host = CameraHostText(camera.ip, camera.port);
            CameraUpgrade asker(host, &models,
                                EncodeBasicToken(camera.user + ":" + camera.password), "", "",
                                nullptr, nullptr, nullptr, nullptr, 0, true);
            asker.InquireSysinfo();
            int32_t ignored = 0;
            asker.ParseIdentity(asker.sysinfoText, ignored, camera.model, camera.version,
                                camera.serial);
            camera.dhcp = KeyValue(asker.sysinfoText, "Dhcp=").value_or("") == "on";
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

}  // namespace

// The cameras of the batch, in order: the addresses given, then those
// discovery found that are not given already. False with `error` set.
bool CollectBatchCameras(const ParsedArgs& parsed, const ModelList& models,
                         std::vector<BatchCamera>& cameras, std::string& error) {
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
    IdentifyCameras(cameras, models);

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
    ParsedArgs parsed =
        ParseArgs(args, {"--user", "--password", "--second-after", "--stop-after", "--csv"},
                  {"--discover", "--allow-broadcast", "--retain", "--backup", "--yes"});
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
    if (!CollectBatchCameras(parsed, models, cameras, error))
        return UsageError("batch", error);
    if (cameras.empty()) {
        std::fprintf(stderr, "batch: no camera to upgrade\n");
        return 1;
    }

    StderrWindow window;
    auto workspace = std::make_shared<PackageWorkspace>();
    workspace->LoadPackage(&window);
    struct CleanUp {
        std::shared_ptr<PackageWorkspace> workspace;
        ~CleanUp() { workspace->RemoveAtExit(); }
    } cleanUp{workspace};
    // From here Ctrl-C ends the tool through this function: the workspace goes.
    CatchInterrupt();

    BatchEngine engine(CameraUpgradeJobs(&models, "ver" + PackageVersion(), &window, workspace));
    for (const BatchCamera& camera : cameras)
        engine.AddCamera(camera);
    std::vector<std::string> shown(engine.RowCount());
    for (size_t i = 0; i < engine.RowCount(); ++i) {
        PrintStatus(engine.Row(i));
        shown[i] = engine.Row(i).statusText;
    }
    if (!parsed.flags.count("--yes") && !Confirm(LoadUiText(209, &window))) {
        std::fprintf(stderr, "batch: not confirmed; nothing was started\n");
        return 1;
    }
    engine.SetSharedSettings(retain, !keepBackup, std::time(nullptr));

    using Clock = std::chrono::steady_clock;
    auto nextTick = Clock::now();
    Clock::duration longestTick{};  // what a window driving the engine would stall
    auto nextSecond = nextTick + std::chrono::milliseconds(kTickPeriodMs);
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
                PrintStatus(engine.Row(i));
            }
        }
        if (Clock::now() >= nextSecond) {
            nextSecond += std::chrono::milliseconds(kTickPeriodMs);
            for (uint32_t id : window.Timers())
                if (!engine.OnCameraTimer(id))
                    window.KillTimer(id);
        }
        // Keep the pace without a burst of catch-up ticks after a stall.
        nextTick = std::max(nextTick + std::chrono::milliseconds(kBatchTickMs),
                            Clock::now() - std::chrono::milliseconds(kBatchTickMs));
        std::this_thread::sleep_until(nextTick);
    }

    if (auto counter = engine.PollCounter())
        std::printf("Proceeded: %s\n", counter->text.c_str());
    std::printf("Upgrade log\n%s", engine.LogText().c_str());
    std::fflush(stdout);
    for (size_t i = 0; i < engine.RowCount(); ++i) {
        const BatchRow& row = engine.Row(i);
        if (!row.failureDetail.empty())
            std::fprintf(stderr, "%s %s: %s\n", row.idText.c_str(), row.addressText.c_str(),
                         row.failureDetail.c_str());
    }
    if (std::getenv("VCQ_BATCH_STATS"))
        std::fprintf(stderr, "longest tick: %.1f ms\n",
                     std::chrono::duration<double, std::milli>(longestTick).count());
    // Workers given up on may still be inside an exchange: let them end
    // before the workspace goes.
    for (int wait = 0; wait < 700 && engine.BusyLeftovers() > 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

    for (size_t i = 0; i < engine.RowCount(); ++i)
        if (engine.Row(i).finalStep != step::kCompleted)
            return 1;
    return 0;
}

}  // namespace vcq::cli
