// The program's batch jobs: CameraUpgrade in batch mode, its precondition
// check on a thread of its own so that the engine's caller never waits for a
// camera.
#include <atomic>

#include "platform/detached_work.h"
#include "protocol/cgi_client.h"
#include "upgrade/batch_engine.h"
#include "upgrade/camera_upgrade.h"

namespace vcq {
namespace {

class CameraUpgradeJob : public BatchJob {
  public:
    explicit CameraUpgradeJob(std::shared_ptr<CameraUpgrade> upgrade)
        : upgrade_(std::move(upgrade)) {}

    // A check that has not ended is let go; it holds what it uses.
    void BeginCheck() override {
        if (check_.Started())
            return;
        check_ = DetachedWork<CheckOutcome>::Start([upgrade = upgrade_] {
            bool lowMemory = false;
            const bool passed = upgrade->CheckPreconditions(lowMemory, nullptr);
            return passed      ? CheckOutcome::Passed
                   : lowMemory ? CheckOutcome::LowMemory
                               : CheckOutcome::Failed;
        });
    }

    CheckOutcome PollCheck() override { return check_.Outcome().value_or(CheckOutcome::Pending); }

    void Start() override { upgrade_->StartUpgrade(nullptr); }
    int32_t Step() const override { return upgrade_->step; }
    int32_t Progress() const override { return *upgrade_->progressCounter; }
    int32_t AddProgress(int32_t amount) override { return *upgrade_->progressCounter += amount; }
    std::string TargetVersion() const override { return upgrade_->targetVersion; }
    void OnTick(uint32_t timerId) override { upgrade_->OnTick(timerId); }
    void Abandon() override { upgrade_->Abandon(); }
    std::string FailureDetail() const override { return upgrade_->FailureDetail(); }
    bool Busy() const override {
        return check_.Running() || !upgrade_->WaitForWorker(std::chrono::milliseconds(0));
    }

  private:
    std::shared_ptr<CameraUpgrade> upgrade_;
    DetachedWork<CheckOutcome> check_;
};

}  // namespace

BatchJobFactory CameraUpgradeJobs(const ModelList* models, std::string targetVersion,
                                  WindowPort* owner, std::shared_ptr<PackageWorkspace> workspace) {
    return [=](const BatchCamera& camera, int32_t index, const BatchSettings* settings) {
        auto upgrade = std::make_shared<CameraUpgrade>(
            CameraHostText(camera.ip, camera.port), models,
            EncodeBasicToken(camera.user + ":" + camera.password), targetVersion, camera.serial,
            &settings->retain, &settings->deleteAfterRestore, &settings->startTime, owner, index,
            true);
        upgrade->workspace = workspace;
        upgrade->progressCounter = std::make_shared<std::atomic<int32_t>>(0);
        return std::make_shared<CameraUpgradeJob>(std::move(upgrade));
    };
}

}  // namespace vcq
