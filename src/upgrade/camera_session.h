// Manual mode and `upgrade`: an upgrade session of one camera. The front end
// keeps its own pages, questions and messages; the session owns the job, the
// configuration it saved and what they use (the model list, the window, the
// workspace), under the batch's lifetime rule: letting go of it never
// blocks, and a check, save or worker still inside a bounded exchange ends
// on a thread of its own (UpgradeSession::AwaitReleased waits for those).
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "upgrade/camera_upgrade.h"
#include "upgrade/upgrade_session.h"

namespace vcq {

class CameraSession {
  public:
    // The job is built from the login as it stands: a changed login makes a
    // new session, never a changed one.
    CameraSession(std::shared_ptr<BatchResources> resources, const std::string& host,
                  const std::string& token, const ExchangeLimits& limits = {});
    // Never blocks: asks the job to stop; what still runs for it ends on a
    // thread of its own within UpgradeSession::kCloseBound.
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    // The check before the upgrade, blocking: run it off any thread that
    // paints. It holds what it uses, so the session may go meanwhile.
    std::function<bool()> CheckTask();
    // Once the check ended: what it read.
    std::string CurrentVersion() const;
    std::string Serial() const;

    // Saves the configuration after the check, blocking like it; `keep`
    // leaves the file on disk after its restore.
    std::function<bool()> SaveTask(bool keep);
    // Once the save ended: the configuration saved, null when none was.
    std::shared_ptr<ConfigBackup> Saved() const;
    // Why the latest save failed.
    std::string SaveError() const;

    // Starts the upgrade on its worker, with the saved configuration if any.
    bool Start();
    int32_t Step() const;
    CameraEnd Outcome() const;
    std::string FailureDetail() const;
    // The job, for what a front end attaches before Start (its step
    // listener, its window and bar).
    CameraUpgrade& Job();

    // Waits, at most `bound`, for the worker and any check or save to end.
    // For a thread that may wait (the headless tool).
    bool Close(std::chrono::milliseconds bound);

  private:
    struct Held;

    std::shared_ptr<Held> held_;
};

}  // namespace vcq
