#include "upgrade/camera_session.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/transfer_abort.h"

namespace vcq {

struct CameraSession::Held {
    std::shared_ptr<BatchResources> resources;
    std::shared_ptr<CameraUpgrade> job;
    std::atomic<int> tasks{0};  // checks and saves still running
    mutable std::mutex mutex;
    std::string serial;                   // under mutex
    std::shared_ptr<ConfigBackup> saved;  // under mutex
    std::string saveError;                // under mutex

    // Counts a task while it runs, so the session's end waits for it.
    struct Task {
        explicit Task(Held& held) : held_(held) { ++held_.tasks; }
        ~Task() { --held_.tasks; }
        Held& held_;
    };

    bool Busy() const { return tasks > 0 || !job->WaitForWorker(std::chrono::milliseconds(0)); }
};

CameraSession::CameraSession(std::shared_ptr<BatchResources> resources, const std::string& host,
                             const std::string& token, const ExchangeLimits& limits)
    : held_(std::make_shared<Held>()) {
    held_->resources = std::move(resources);
    // The target is the package's version; the front end's label may carry
    // a build mark.
    held_->job = std::make_shared<CameraUpgrade>(
        CameraJob(host, token, held_->resources->models, held_->resources->targetVersion),
        held_->resources->window, 0, false);
    held_->job->SetExchangeLimits(limits);
    held_->job->SetWorkspace(held_->resources->workspace);
    // A worker past the close bound still calls the window: it holds it.
    held_->job->KeepAlive(held_->resources);
}

CameraSession::~CameraSession() {
    held_->job->Abandon();
    if (!held_->Busy())
        return;
    const std::shared_ptr<Held> held = held_;
    ReleaseWhenIdle([held] { return held->Busy(); }, held);
}

std::string CameraSession::CurrentVersion() const {
    return held_->job->CurrentVersion();
}

int32_t CameraSession::Step() const {
    return held_->job->Step();
}

CameraEnd CameraSession::Outcome() const {
    return held_->job->Outcome();
}

std::string CameraSession::FailureDetail() const {
    return held_->job->FailureDetail();
}

CameraUpgrade& CameraSession::Job() {
    return *held_->job;
}

std::function<bool()> CameraSession::CheckTask() {
    // Its exchanges end with the job's: a session let go or stopped ends them.
    return [held = held_, abort = held_->job->Transfers()->Abort()] {
        const Held::Task task(*held);
        const AbortScope exchangesObey(abort);
        bool lowMemory = false;
        std::string serial;
        const bool passed = held->job->CheckPreconditions(lowMemory, &serial);
        std::lock_guard lock(held->mutex);
        held->serial = std::move(serial);
        return passed;
    };
}

std::string CameraSession::Serial() const {
    std::lock_guard lock(held_->mutex);
    return held_->serial;
}

std::function<bool()> CameraSession::SaveTask(bool keep) {
    const std::string model = held_->resources->models.Primary();
    const JobSettings& settings = held_->job->Settings();
    auto backup = std::make_shared<ConfigBackup>(settings.hostText, ConfigCameraPath(model),
                                                 settings.authToken, std::time(nullptr), model,
                                                 Serial(), !keep);
    {
        std::lock_guard lock(held_->mutex);
        held_->saved.reset();
    }
    return [held = held_, backup, abort = held_->job->Transfers()->Abort()] {
        const Held::Task task(*held);
        const AbortScope transferObeys(abort);
        const bool saved = backup->Download();
        std::lock_guard lock(held->mutex);
        held->saved = saved ? backup : nullptr;
        held->saveError = saved ? "" : backup->errorText;
        return saved;
    };
}

std::shared_ptr<ConfigBackup> CameraSession::Saved() const {
    std::lock_guard lock(held_->mutex);
    return held_->saved;
}

std::string CameraSession::SaveError() const {
    std::lock_guard lock(held_->mutex);
    return held_->saveError;
}

bool CameraSession::Start() {
    held_->job->SetSerial(Serial());
    return held_->job->StartUpgrade(Saved()) != 0;
}

bool CameraSession::Close(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (held_->Busy()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace vcq
