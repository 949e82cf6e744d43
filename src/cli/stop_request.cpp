#include "cli/stop_request.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/detached_work.h"
#include "platform/system.h"

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

bool RunStoppable(const std::function<bool()>& task, const std::function<void()>& stop) {
    // The task only runs while this waits for it: what it refers to lives.
    const DetachedWork<bool> work = DetachedWork<bool>::Start([&task] { return task(); });
    bool stopped = false;
    while (work.Running()) {
        if (g_stopRequested && !stopped) {
            stopped = true;
            stop();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return work.Outcome().value_or(false) && !g_stopRequested;
}

}  // namespace vcq::cli
