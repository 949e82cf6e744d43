#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/stderr_window.h"
#include "discovery/broadcast_guard.h"
#include "discovery/discovery_session.h"
#include "upgrade/job_values.h"

namespace vcq::cli {

bool ParseMillis(const std::string& text, int& out) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > 600000)
        return false;
    out = static_cast<int>(value);
    return true;
}

std::vector<CameraRecord> DiscoverCameras(int secondAfter, int stopAfter, bool* searched) {
    StderrWindow window;
    DiscoveryTable table;
    table.SetModels(SupportedModels().names);
    DiscoveryOptions options;
    options.window = &window;
    DiscoverySession session(window, table, options);
    size_t told = 0;
    const auto tellSkipped = [&] {
        const std::vector<std::string> skipped = table.SkippedNetworks();
        for (; told < skipped.size(); ++told)
            std::fprintf(stderr, "discover: not searching %s\n", skipped[told].c_str());
    };
    // This front end has no message loop: the two timer ticks come from here.
    auto start = std::chrono::steady_clock::now();
    session.Start();
    for (const std::string& network : table.SearchedNetworks())
        std::fprintf(stderr, "discover: searching %s\n", network.c_str());
    tellSkipped();
    if (searched)
        *searched = table.ThreadRunning();
    if (!table.ThreadRunning()) {
        std::fprintf(stderr,
                     "discover: no network adapter can be searched; give the cameras' "
                     "addresses instead\n");
        session.Shutdown();
        return {};
    }
    std::this_thread::sleep_until(start + std::chrono::milliseconds(secondAfter));
    session.OnTimer(session.TimerId());
    std::this_thread::sleep_until(start + std::chrono::milliseconds(stopAfter));
    session.OnTimer(session.TimerId());
    session.Shutdown();
    tellSkipped();
    return table.Snapshot();
}

int RunDiscover(const Args& args) {
    int secondAfter = 5000;
    int stopAfter = 10000;
    bool allowBroadcast = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--allow-broadcast") {
            allowBroadcast = true;
        } else if ((a == "--second-after" || a == "--stop-after") && i + 1 < args.size()) {
            if (!ParseMillis(args[++i], a == "--second-after" ? secondAfter : stopAfter)) {
                std::fprintf(stderr, "discover: %s wants milliseconds\n", a.c_str());
                return kUsageError;
            }
        } else {
            std::fprintf(stderr, "discover: unexpected argument '%s'\n", a.c_str());
            return kUsageError;
        }
    }
    if (secondAfter > stopAfter) {
        std::fprintf(stderr, "discover: --second-after must not exceed --stop-after\n");
        return kUsageError;
    }
    // The enquiry is a broadcast to the whole segment: in a development
    // build never by accident.
    if (!BroadcastAllowed(allowBroadcast)) {
        std::fprintf(stderr,
                     "discover: refusing to broadcast on this network; run it inside "
                     "tests/isolated or pass --allow-broadcast\n");
        return kDiscoverRefused;
    }

    bool searched = false;
    for (const CameraRecord& r : DiscoverCameras(secondAfter, stopAfter, &searched)) {
        std::printf("%s\t%u.%u.%u.%u\t%d\t%s\t%s\t%s\t%d\t%d\n", r.mac, r.ip[0], r.ip[1], r.ip[2],
                    r.ip[3], r.webPort, EscapeControls(r.model).c_str(),
                    EscapeControls(r.serial).c_str(), EscapeControls(r.softVersion).c_str(), r.dhcp,
                    r.dnsAuto);
    }
    return searched ? 0 : 1;
}

}  // namespace vcq::cli
