// One batch and everything its jobs use, with the lifetime rule in one place:
// a check or worker the engine gave up on may still be inside a bounded
// exchange after the batch ended, so what it reads (the model list, the
// window, the workspace it unpacks into) is shared with it and goes only with
// the last holder. Letting go of a run never blocks: its jobs are asked to
// stop, and what still runs for them ends on a thread of its own, within a
// bound; a front end about to leave the process waits for those
// (AwaitReleased), never on a thread that paints a window.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "package/resources.h"
#include "upgrade/batch_driver.h"
#include "upgrade/batch_engine.h"

namespace vcq {

class PackageWorkspace;
class WindowPort;

struct BatchResources {
    ModelList models;
    std::string targetVersion;  // "ver1.08"
    // The front end's window: the jobs' boxes and messages go there.
    std::shared_ptr<WindowPort> window;
    std::shared_ptr<PackageWorkspace> workspace;
    // The workspace belongs to the batch: its folder goes with the last holder.
    bool removeWorkspace = true;

    ~BatchResources();
};

class BatchRun {
  public:
    explicit BatchRun(std::shared_ptr<BatchResources> resources);
    // Never blocks: asks the jobs still active to stop; threads still running
    // for them end on a thread of their own within kFinishBound, which keeps
    // the resources until then.
    ~BatchRun();
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    BatchEngine& Engine() { return *engine_; }
    const BatchEngine& Engine() const { return *engine_; }
    BatchDriver& Driver() { return *driver_; }
    const BatchResources& Resources() const { return *resources_; }

    // Once the engine has ended (or its rows have been read): lets every
    // thread still running for one of its jobs end, waiting at most `bound`.
    // True when none is left. For a thread that may wait (the headless tool).
    bool Finish(std::chrono::milliseconds bound);

    // Waits, at most `bound`, for the threads of every run let go so far.
    // True when none is left.
    static bool AwaitReleased(std::chrono::milliseconds bound);

    // Longer than any one bounded exchange (60 s).
    static constexpr std::chrono::seconds kFinishBound{70};

  private:
    std::shared_ptr<BatchResources> resources_;
    std::unique_ptr<BatchEngine> engine_;
    std::unique_ptr<BatchDriver> driver_;
};

}  // namespace vcq
