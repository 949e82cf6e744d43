#include "upgrade/upgrade_session.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "package/workspace.h"
#include "protocol/config_backup.h"

namespace vcq {
namespace {

// Sessions let go whose threads have not ended yet.
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

UpgradeSession::UpgradeSession(std::shared_ptr<BatchResources> resources)
    : resources_(std::move(resources)),
      engine_(std::make_unique<BatchEngine>(
          CameraUpgradeJobs(resources_->models, resources_->targetVersion, resources_->window,
                            resources_->workspace, resources_))),
      driver_(*engine_) {
    driver_.SetListener(&recorder_);
}

UpgradeSession::~UpgradeSession() {
    driver_.SetListener(nullptr);
    engine_->Clear();  // asks every job to stop: their transfers end within a second
    if (engine_->BusyLeftovers() == 0)
        return;
    std::shared_ptr<BatchEngine> engine = std::move(engine_);
    ReleaseWhenIdle(
        [engine] { return engine->BusyLeftovers() > 0; },
        // The engine goes first: its jobs use the resources.
        std::make_shared<std::pair<std::shared_ptr<BatchResources>, std::shared_ptr<BatchEngine>>>(
            std::move(resources_), engine));
}

void ReleaseWhenIdle(std::function<bool()> busy, std::shared_ptr<void> held) {
    {
        std::lock_guard lock(g_releasedMutex);
        ++g_released;
    }
    std::thread([busy = std::move(busy), held = std::move(held)]() mutable {
        const auto deadline = std::chrono::steady_clock::now() + UpgradeSession::kCloseBound;
        while (busy() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // Whatever still runs past the bound holds what it uses itself.
        busy = nullptr;
        held.reset();
        std::lock_guard lock(g_releasedMutex);
        --g_released;
        g_releasedChanged.notify_all();
    }).detach();
}

void UpgradeSession::Record(const std::string& event) {
    events_ += event + "\n";
    if (listener_)
        listener_->Recorded(event);
}

void UpgradeSession::RecordStatus(size_t row) {
    status_.resize(engine_->RowCount());
    const BatchRow& shown = engine_->Row(row);
    if (announced_ && shown.statusText == status_[row])
        return;
    status_[row] = shown.statusText;
    Record(StatusEvent(shown, engine_->Camera(row)));
    if (listener_)
        listener_->StatusChanged(row);
}

void UpgradeSession::Announce() {
    events_.clear();
    status_.assign(engine_->RowCount(), std::string());
    announced_ = false;
    for (size_t i = 0; i < engine_->RowCount(); ++i) {
        if (!engine_->InLatestRun(i))
            continue;
        status_[i] = engine_->Row(i).statusText;
        Record(StatusEvent(engine_->Row(i), engine_->Camera(i)));
        if (listener_)
            listener_->StatusChanged(i);
    }
    for (const SetAside& camera : setAside_)
        Record(SetAsideEndEvent(camera));
    announced_ = true;
}

void UpgradeSession::Begin(Clock::time_point now) {
    if (!announced_)
        Announce();
    driver_.Begin(now);
}

void UpgradeSession::Recorder::RowChanged(size_t row) {
    session_.RecordStatus(row);
    if (session_.listener_)
        session_.listener_->RowChanged(row);
}

void UpgradeSession::Recorder::RowEnded(size_t row) {
    session_.Record(EndEvent(session_.engine_->Row(row), session_.engine_->Camera(row)));
    if (session_.listener_)
        session_.listener_->RowEnded(row);
}

void UpgradeSession::Recorder::Ended() {
    // The next run (a retry) announces itself afresh.
    session_.announced_ = false;
    if (session_.listener_)
        session_.listener_->Ended();
}

OutcomeCounts UpgradeSession::Counts() const {
    return CountOutcomes(*engine_, setAside_);
}

bool UpgradeSession::LeftAlone() const {
    const OutcomeCounts counts = Counts();
    return counts[BatchOutcome::Completed] + counts[BatchOutcome::Failed] +
               counts[BatchOutcome::ConfigNotRestored] + counts[BatchOutcome::NotStarted] ==
           0;
}

std::string UpgradeSession::LogText(bool summary) const {
    std::string text = BatchLogText(*engine_, setAside_);
    if (summary && (engine_->RowCount() > 0 || !setAside_.empty()))
        text += SummaryLine(Counts()) + "\r\n";
    return text;
}

UpgradeSession::Saved UpgradeSession::SaveRecords(bool summaryInLog) {
    Saved saved;
    // A run that left every camera as it was makes no dated folder.
    if (!LeftAlone()) {
        saved.logPath =
            WriteUpgradeLog(engine_->Settings().startTime, LogText(summaryInLog), saved.error);
    }
    const size_t stoppedAfter = engine_->StoppedAfterFailures() ? engine_->MaxFailures() : 0;
    Record(SummaryEvent(Counts(), saved.logPath, stoppedAfter));
    if (!saved.logPath.empty() && !SaveEventsBeside(saved.logPath, events_))
        saved.error =
            "the events were not saved beside the log: " + EventsPathBeside(saved.logPath);
    return saved;
}

bool UpgradeSession::Close(std::chrono::milliseconds bound) {
    return WaitForLeftovers(*engine_, std::chrono::steady_clock::now() + bound);
}

bool UpgradeSession::AwaitReleased(std::chrono::milliseconds bound) {
    std::unique_lock lock(g_releasedMutex);
    return g_releasedChanged.wait_for(lock, bound, [] { return g_released == 0; });
}

}  // namespace vcq
