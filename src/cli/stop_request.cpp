#include "cli/stop_request.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/detached_work.h"
#include "platform/system.h"
#include "platform/transfer_abort.h"
#include "upgrade/camera_upgrade.h"

namespace vcq::cli {
namespace {

std::atomic<bool> g_stopRequested{false};
void OnStopRequest() {
    g_stopRequested = true;
}

}  // namespace

void CatchStopRequest() {
    sys::CatchStop(OnStopRequest);
}

bool StopRequested() {
    return g_stopRequested;
}

bool RunStoppable(CameraUpgrade& job, const std::function<bool()>& task) {
    // The task only runs while this waits for it: what it refers to lives.
    const DetachedWork<bool> work =
        DetachedWork<bool>::Start([&task, abort = job.Transfers()->Abort()] {
            const AbortScope exchangesObey(abort);
            return task();
        });
    bool stopped = false;
    while (work.Running()) {
        if (g_stopRequested && !stopped) {
            stopped = true;
            job.Abandon();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return work.Outcome().value_or(false) && !g_stopRequested;
}

}  // namespace vcq::cli
