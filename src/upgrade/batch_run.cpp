#include "upgrade/batch_run.h"

#include <thread>

#include "package/workspace.h"

namespace vcq {

BatchResources::~BatchResources() {
    if (workspace && removeWorkspace)
        workspace->RemoveAtExit();
}

BatchRun::BatchRun(std::shared_ptr<BatchResources> resources) : resources_(std::move(resources)) {
    const BatchResources& r = *resources_;
    engine_ = std::make_unique<BatchEngine>(
        CameraUpgradeJobs(&r.models, r.targetVersion, r.window.get(), r.workspace, resources_));
}

BatchRun::~BatchRun() {
    engine_->Clear();
    Finish(kFinishBound);
}

bool BatchRun::Finish(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (engine_->BusyLeftovers() > 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace vcq
