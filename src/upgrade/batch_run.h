// One batch and everything its jobs use, with the lifetime rule in one place:
// a check or worker the engine gave up on may still be inside a bounded
// exchange after the batch ended, so what it reads (the model list, the
// window that carries its timers, the workspace it unpacks into) is shared
// with it and goes only with the last holder; and a front end about to leave
// lets such threads end first, within a bound.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "package/resources.h"
#include "upgrade/batch_engine.h"

namespace vcq {

class PackageWorkspace;
class WindowPort;

struct BatchResources {
    ModelList models;
    std::string targetVersion;  // "ver1.08"
    std::shared_ptr<WindowPort> window;
    std::shared_ptr<PackageWorkspace> workspace;
    // The workspace belongs to the batch: its folder goes with the last holder.
    bool removeWorkspace = true;

    ~BatchResources();
};

class BatchRun {
  public:
    explicit BatchRun(std::shared_ptr<BatchResources> resources);
    // Abandons the jobs still active and waits for their threads, within
    // kFinishBound; what still runs after that keeps the resources alive.
    ~BatchRun();
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    BatchEngine& Engine() { return *engine_; }
    const BatchResources& Resources() const { return *resources_; }

    // Once the engine has ended (or its rows have been read): lets every
    // thread still running for one of its jobs end, waiting at most `bound`.
    // True when none is left.
    bool Finish(std::chrono::milliseconds bound);

    // Longer than any one bounded exchange (60 s).
    static constexpr std::chrono::seconds kFinishBound{70};

  private:
    std::shared_ptr<BatchResources> resources_;
    std::unique_ptr<BatchEngine> engine_;
};

}  // namespace vcq
