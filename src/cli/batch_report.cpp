#include "cli/batch_report.h"

#include <cstdio>

#include "protocol/cgi_client.h"
#include "upgrade/retry_plan.h"

namespace vcq::cli {

std::string SetAsideLine(const SetAside& camera) {
    return CameraHostText(camera.camera.ip, camera.camera.port) + " " +
           PreBatchNotice(camera.verdict) + ": " + camera.reason;
}

std::string StoppedAfterFailuresLine(size_t maxFailures, const OutcomeCounts& counts) {
    return "Stopped after " + std::to_string(maxFailures) + " failed camera" +
           (maxFailures == 1 ? "" : "s") + " (--max-failures " + std::to_string(maxFailures) +
           "): " + std::to_string(counts[BatchOutcome::NotStarted]) + " not started";
}

std::string NotCompletedList(const BatchEngine& engine) {
    std::string list;
    size_t flashed = 0;
    for (size_t i : engine.NotCompletedRows()) {
        // Told to flash, its configuration kept: `retry` checks it and sends
        // the file back; a batch would flash it again or save its reset
        // settings over the kept ones.
        if (PlanRetry(engine.Row(i).end).action != RetryAction::Upgrade) {
            ++flashed;
            continue;
        }
        const BatchCamera& camera = engine.Camera(i);
        list += DottedAddress(camera.ip);
        if (camera.port != 80)
            list += "," + std::to_string(camera.port);
        list += "\n";
    }
    if (flashed > 0)
        list = "# not listed: " + std::to_string(flashed) +
               " told to flash, configuration kept; vcq-upgrade-cli retry LOG checks them and "
               "puts it back\n" +
               list;
    return list;
}

}  // namespace vcq::cli
