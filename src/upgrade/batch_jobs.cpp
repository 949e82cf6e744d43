// The program's batch jobs: CameraUpgrade in batch mode, its precondition
// check on a thread of its own so that the engine's caller never waits for a
// camera.
#include <atomic>
#include <filesystem>
#include <system_error>
#include <thread>

#include "protocol/cgi_client.h"
#include "upgrade/batch_engine.h"
#include "upgrade/camera_upgrade.h"

namespace vcq {
namespace {

struct CheckState {
    std::atomic<CheckOutcome> outcome{CheckOutcome::Pending};
    std::atomic<bool> running{false};
};

class CameraUpgradeJob : public BatchJob {
  public:
    explicit CameraUpgradeJob(std::shared_ptr<CameraUpgrade> upgrade)
        : upgrade_(std::move(upgrade)), check_(std::make_shared<CheckState>()) {}

    ~CameraUpgradeJob() override {
        if (!checker_.joinable())
            return;
        // A check that has not ended is let go; it holds what it uses.
        if (check_->running)
            checker_.detach();
        else
            checker_.join();
    }

    void BeginCheck() override {
        if (checker_.joinable())
            return;
        check_->running = true;
        checker_ = std::thread([upgrade = upgrade_, state = check_] {
            bool lowMemory = false;
            bool passed = upgrade->CheckPreconditions(lowMemory, nullptr);
            state->outcome = passed      ? CheckOutcome::Passed
                             : lowMemory ? CheckOutcome::LowMemory
                                         : CheckOutcome::Failed;
            state->running = false;
        });
    }

    CheckOutcome PollCheck() override { return check_->outcome; }

    void Start() override { upgrade_->StartUpgrade(nullptr); }
    int32_t Step() const override { return upgrade_->step; }
    int32_t Progress() const override { return *upgrade_->progressCounter; }
    int32_t AddProgress(int32_t amount) override { return *upgrade_->progressCounter += amount; }
    std::string TargetVersion() const override { return upgrade_->targetVersion; }
    void OnTick(uint32_t timerId) override { upgrade_->OnTick(timerId); }
    void Abandon() override { upgrade_->Abandon(); }
    std::string FailureDetail() const override { return upgrade_->FailureDetail(); }
    std::string KeptFile() const override {
        std::string path = upgrade_->SavedBackupPath();
        std::error_code ec;
        return !path.empty() && std::filesystem::exists(path, ec) ? path : std::string();
    }
    bool Busy() const override {
        return check_->running || !upgrade_->WaitForWorker(std::chrono::milliseconds(0));
    }

  private:
    std::shared_ptr<CameraUpgrade> upgrade_;
    std::shared_ptr<CheckState> check_;
    std::thread checker_;
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
