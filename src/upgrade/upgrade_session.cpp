#include "upgrade/batch_run.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "package/workspace.h"

namespace vcq {
namespace {

// Runs let go whose threads have not ended yet.
std::mutex g_releasedMutex;
std::condition_variable g_releasedChanged;
int g_released = 0;

bool WaitForLeftovers(BatchEngine& engine, std::chrono::steady_clock::time_point deadline) {
    while (engine.BusyLeftovers() > 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace

BatchResources::~BatchResources() {
    if (workspace && removeWorkspace)
        workspace->RemoveAtExit();
}

BatchRun::BatchRun(std::shared_ptr<BatchResources> resources) : resources_(std::move(resources)) {
    BatchResources& r = *resources_;
    engine_ = std::make_unique<BatchEngine>(
        CameraUpgradeJobs(&r.models, r.targetVersion, r.window.get(), r.workspace, resources_));
    driver_ = std::make_unique<BatchDriver>(*engine_);
}

BatchRun::~BatchRun() {
    driver_.reset();
    engine_->Clear();  // asks every job to stop: their transfers end within a second
    if (engine_->BusyLeftovers() == 0)
        return;
    {
        std::lock_guard lock(g_releasedMutex);
        ++g_released;
    }
    std::thread([engine = std::move(engine_), resources = std::move(resources_)]() mutable {
        WaitForLeftovers(*engine, std::chrono::steady_clock::now() + kFinishBound);
        // Whatever still runs past the bound holds the resources itself.
        engine.reset();
        resources.reset();
        std::lock_guard lock(g_releasedMutex);
        --g_released;
        g_releasedChanged.notify_all();
    }).detach();
}

bool BatchRun::Finish(std::chrono::milliseconds bound) {
    return WaitForLeftovers(*engine_, std::chrono::steady_clock::now() + bound);
}

bool BatchRun::AwaitReleased(std::chrono::milliseconds bound) {
    std::unique_lock lock(g_releasedMutex);
    return g_releasedChanged.wait_for(lock, bound, [] { return g_released == 0; });
}

}  // namespace vcq
