// One upgrade session for every batch front end (the wizard's batch page,
// `batch` and `retry`): it owns the engine, its driver, what the jobs use
// (the model list, the window, the workspace) and what the batch leaves
// behind (the upgrade log and its events), so each front end only shows.
//
// The lifetime rule lives here too: a check or worker the engine gave up on
// may still be inside a bounded exchange after the batch ended, so what it
// reads is shared with it and goes only with the last holder. Letting go of a
// session never blocks: its jobs are asked to stop, and what still runs for
// them ends on a thread of its own, within a bound; a front end about to
// leave the process waits for those (AwaitReleased), never on a thread that
// paints a window.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "package/resources.h"
#include "upgrade/batch_driver.h"
#include "upgrade/batch_engine.h"
#include "upgrade/batch_outcome.h"
#include "upgrade/batch_records.h"

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

// Lets `held` go on a thread of its own once `busy` says false, or after
// UpgradeSession::kCloseBound; UpgradeSession::AwaitReleased counts it.
void ReleaseWhenIdle(std::function<bool()> busy, std::shared_ptr<void> held);

class UpgradeSession {
  public:
    using Clock = BatchDriver::Clock;

    // What a front end hears, on the thread that pulses the session, after
    // the session has recorded it.
    class Listener : public BatchDriver::Listener {
      public:
        // An event the session recorded: one JSON object, no line end.
        virtual void Recorded(const std::string& /*event*/) {}
        // The row's status text changed (its status event is recorded).
        virtual void StatusChanged(size_t /*row*/) {}
    };

    explicit UpgradeSession(std::shared_ptr<BatchResources> resources);
    // Never blocks: asks the jobs still active to stop; threads still running
    // for them end on a thread of their own within kCloseBound, which keeps
    // the resources until then.
    ~UpgradeSession();
    UpgradeSession(const UpgradeSession&) = delete;
    UpgradeSession& operator=(const UpgradeSession&) = delete;

    BatchEngine& Engine() { return *engine_; }
    const BatchEngine& Engine() const { return *engine_; }
    const BatchResources& Resources() const { return *resources_; }
    void SetListener(Listener* listener) { listener_ = listener; }

    // Cameras left alone before the batch starts: their ends go to the
    // events, the log and the counts, after the batch's own rows.
    void SetAsideBefore(std::vector<SetAside> cameras) { setAside_ = std::move(cameras); }
    const std::vector<SetAside>& SetAsideCameras() const { return setAside_; }

    // Records the batch as it stands: each row's status, the set-aside
    // cameras' ends. Begin does it when it was not done for the run.
    void Announce();
    // Starts the run (again after a retry): its events start afresh.
    void Begin(Clock::time_point now);
    bool Running() const { return driver_.Running(); }
    // Ticks the engine when a tick is due and records what changed. False
    // once the run has ended.
    bool Pulse(Clock::time_point now) { return driver_.Pulse(now); }
    Clock::time_point NextPulse() const { return driver_.NextPulse(); }
    std::vector<size_t> UnderWay() const { return driver_.UnderWay(); }
    Clock::duration LongestTick() const { return driver_.LongestTick(); }

    // The cameras of the latest run and those set aside before it.
    OutcomeCounts Counts() const;
    // Whether the latest run left every camera as it was.
    bool LeftAlone() const;

    // The latest run's upgrade log: its rows' lines, the set-aside cameras',
    // and, when `summary` is set, the summary line.
    std::string LogText(bool summary) const;
    struct Saved {
        std::string logPath;  // empty when none was written
        std::string error;    // why a file was not written
    };
    // Once the run has ended: writes its log beside its backups, and the
    // events with the summary beside the log (what `retry` reads back). A
    // run that left every camera as it was writes no file.
    Saved SaveRecords(bool summaryInLog);

    // Once the engine has ended: lets every thread still running for one of
    // its jobs end, waiting at most `bound`. True when none is left. For a
    // thread that may wait (the headless tool).
    bool Close(std::chrono::milliseconds bound);

    // Waits, at most `bound`, for the threads of every session let go so
    // far. True when none is left.
    static bool AwaitReleased(std::chrono::milliseconds bound);

    // Longer than any one bounded exchange (60 s).
    static constexpr std::chrono::seconds kCloseBound{70};

  private:
    class Recorder : public BatchDriver::Listener {
      public:
        explicit Recorder(UpgradeSession& session) : session_(session) {}
        void RowChanged(size_t row) override;
        void RowEnded(size_t row) override;
        void Ended() override;

      private:
        UpgradeSession& session_;
    };

    void Record(const std::string& event);
    void RecordStatus(size_t row);

    std::shared_ptr<BatchResources> resources_;
    std::unique_ptr<BatchEngine> engine_;
    BatchDriver driver_;
    Recorder recorder_{*this};
    Listener* listener_ = nullptr;
    std::vector<SetAside> setAside_;
    std::string events_;               // of the latest run, one a line
    std::vector<std::string> status_;  // by row: the status text last recorded
    bool announced_ = false;
};

}  // namespace vcq
