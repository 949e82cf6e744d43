// The batch upgrade of automatic mode, without any window: the rows the batch
// shows, one job per camera, and the engine tick that checks and starts the
// jobs in list order, keeps at most four in service and retires the finished
// ones. The wizard's batch page ticks it from a 33 ms timer, the headless tool
// from its own loop; both read rows, the counter and the log from here.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "package/resources.h"
#include "protocol/cgi_client.h"  // CameraHostText, for the rows' address text
#include "upgrade/batch_row.h"
#include "upgrade/job_transfers.h"
#include "upgrade/job_values.h"
#include "upgrade/reason_code.h"

namespace vcq {

class PackageWorkspace;
class WindowPort;

// Refused: another generation, or newer than the package without the
// operator's word; UpToDate: at the package's version, not to be flashed again.
enum class CheckOutcome { Pending, Passed, Failed, LowMemory, LoginRefused, Refused, UpToDate };

// Why the engine ends a job that has not ended on its own.
enum class StopCause {
    CheckVerdict,  // its check kept it back, or found nothing to do
    Operator,      // the operator stopped the batch while it was under way
    Backstop,      // in service past the batch's progress limit
};

// The settings every job of a batch reads when it starts.
struct BatchSettings {
    int32_t retain = 1;
    int32_t deleteAfterRestore = 1;
    std::time_t startTime = 0;
    // Taken by each job's upload in turn.
    std::shared_ptr<UploadLine> uploadLine = std::make_shared<UploadLine>();
};

// One camera's upgrade as the engine drives it. The program's jobs run
// CameraUpgrade on threads; tests script them.
class BatchJob {
  public:
    virtual ~BatchJob() = default;
    // Starts the precondition check without waiting for it; PollCheck then
    // tells its outcome.
    virtual void BeginCheck() = 0;
    virtual CheckOutcome PollCheck() = 0;
    // Starts the upgrade; the step is 2 when it returns.
    virtual void Start() = 0;
    virtual int32_t Step() const = 0;
    // The job's progress counter: its upload resets and advances it, the
    // engine adds one per tick in service. Returns the new value.
    virtual int32_t Progress() const = 0;
    virtual int32_t AddProgress(int32_t amount) = 0;
    virtual std::string TargetVersion() const = 0;
    // The engine lets go of a job that has not started (a stop before its
    // turn, or its check no longer wanted): a transfer under way ends within
    // a second, whatever else still runs for it ends on its own, and it
    // reports nothing more. Never blocks.
    virtual void Abandon() = 0;
    // The engine's word that the job ends here, and why. The job words its
    // end from what it knows of itself (StoppedEndOf) and writes it as its
    // one end (unless it has ended on its own first: that end stands), stops
    // as Abandon() does and reports nothing more. Never blocks.
    virtual void Stop(StopCause cause) = 0;
    // Whether a thread still runs for the job.
    virtual bool Busy() const = 0;
    // Whether the job is still in a transfer (given up or not): while any
    // job is, no upload starts.
    virtual bool InTransfer() const { return false; }
    // How far its package upload got; nothing when it has not begun one.
    virtual UploadTally Upload() const { return {}; }
    // The serial and model its check read from the camera; empty when none
    // was read.
    virtual std::string Serial() const { return {}; }
    virtual std::string Model() const { return {}; }
    // The phase it is in, for the status text; none from jobs without phases.
    virtual std::optional<Phase> CurrentPhase() const { return std::nullopt; }
    // Its one result, once its step is final (SettleEnd).
    virtual CameraEnd End() const = 0;
};

// `settings` are the batch's: the engine changes them on its thread between
// runs, the job reads them there.
using BatchJobFactory = std::function<std::shared_ptr<BatchJob>(
    const BatchCamera& camera, int32_t index, std::shared_ptr<const BatchSettings> settings)>;

// Jobs that run CameraUpgrade: silent, in batch mode, with its messages on
// `owner`, unpacking into `workspace`, each job holding `keepAlive` (the
// session's resources) for as long as its check or worker may run (see
// UpgradeSession).
BatchJobFactory CameraUpgradeJobs(ModelList models, std::string targetVersion,
                                  std::shared_ptr<WindowPort> owner,
                                  std::shared_ptr<PackageWorkspace> workspace,
                                  std::shared_ptr<const void> keepAlive = nullptr);

// The end a stopped job writes, from what it knows of itself: its check's
// outcome and reason, the step and phase it is at, how far its upload got.
struct StoppedEnd {
    int32_t step = 0;
    std::string reason;
};
StoppedEnd StoppedEndOf(StopCause cause, CheckOutcome check, std::string checkReason, int32_t step,
                        std::optional<Phase> phase, const UploadTally& upload);

// A batch job's end: its sequence's result settled by what the job knows of
// itself: its check's outcome and reason (a camera up to date or kept back
// ended by that), whether the operator's stop cut it off.
void SettleEnd(CameraEnd& end, CheckOutcome check, ReasonCode checkReason, bool cutOff);

// The "Proceeded:" counter after a change.
struct ProceededUpdate {
    std::string text;    // "%d/%d": retired over all rows (an abort's dropped ones never count)
    bool ended = false;  // no job left: Finish and the log, once
};

// Used on one thread (the UI thread, or the headless tool's main thread).
class BatchEngine {
  public:
    explicit BatchEngine(BatchJobFactory factory);
    ~BatchEngine();  // abandons the jobs still active
    BatchEngine(const BatchEngine&) = delete;
    BatchEngine& operator=(const BatchEngine&) = delete;

    // Drops every row and job; the counter starts afresh.
    void Clear();
    // Appends a row and its job; false when the batch is full.
    bool AddCamera(const BatchCamera& camera);
    void SetSharedSettings(bool retain, bool deleteAfterRestore, std::time_t startTime);
    const BatchSettings& Settings() const { return *settings_; }
    // How many cameras may be in service at once: 1 to 16, 4 unless set.
    // Only one of them saves its configuration or uploads at a time.
    void SetMaxInService(size_t count);
    size_t MaxInService() const { return maxInService_; }
    // A stop-loss: once `count` cameras of the run have failed, no further
    // camera starts; those left end unstarted, `stoppedAfterFailures` set.
    // 0, the default, never stops.
    void SetMaxFailures(size_t count) { maxFailures_ = count; }
    size_t MaxFailures() const { return maxFailures_; }
    // Whether the stop-loss was reached in the latest run.
    bool StoppedAfterFailures() const { return maxFailures_ > 0 && failed_ >= maxFailures_; }

    // Once the batch has ended: the cameras that did not complete (failed, or
    // dropped unstarted by an abort) go back to "Standby" with the logins
    // they had and run again as a new batch started at `startTime` (so their
    // backups go to a new folder), with the same retain and backup choices,
    // each as PlanRetry decides from its end: an upgraded camera only gets
    // its kept configuration back, and its row keeps naming that file.
    // Completed rows stay as they are. Returns how many rows were re-armed;
    // 0 while jobs are still active.
    size_t RetryNotCompleted(std::time_t startTime);
    // Rows whose camera did not complete, in order.
    std::vector<size_t> NotCompletedRows() const;
    // What the row's camera was added with, login included.
    const BatchCamera& Camera(size_t row) const { return cameras_.at(row); }
    // Once the batch has ended: the login a retry of the row will use.
    // False while jobs are active or for a row out of range.
    bool SetLogin(size_t row, std::string user, std::string password);

    // One engine tick. False once no job is left: stop ticking.
    bool Tick();
    // Abort: running jobs go on to their end, the others are dropped.
    void RequestCancel() { cancelRequested_ = true; }
    // Stop at once (the program must end): every job under way is asked to
    // stop, so its transfer ends within a second, and ends with step 9, its
    // reason naming the step it was cut off in; the others are dropped as by
    // an abort. Tick on until no job is left.
    void StopNow();
    bool CancelRequested() const { return cancelRequested_; }

    size_t RowCount() const { return rows_.size(); }
    const BatchRow& Row(size_t row) const { return rows_.at(row); }
    // The row takes part in the latest run (a retry re-arms only some).
    bool InLatestRun(size_t row) const { return inRun_.at(row); }
    size_t ActiveCount() const { return active_.size(); }
    // Rows changed since the last call, in order; their marks are cleared.
    std::vector<size_t> TakeChangedRows();

    // The counter, when the number of finished cameras changed since the
    // last call (the first call always gives one).
    std::optional<ProceededUpdate> PollCounter();

    // The row's line in the upgrade log, ending in CR LF, and for a failed
    // camera its reason, when known, indented on a line of its own; "Not
    // started." for a camera an abort left out; empty for one never reached.
    std::string LogLine(size_t row) const;
    // The upgrade log of the latest run: the lines of the rows that took
    // part in it (every row, or those a retry re-armed), in order.
    std::string LogText() const;

    // Threads still running for jobs that were retired or given up.
    size_t BusyLeftovers();

  private:
    struct Active {
        std::shared_ptr<BatchJob> job;
        size_t row = 0;
        bool checking = false;
        bool stopped = false;  // told to end: the job's end is the one it was given
    };

    int32_t StepOf(const Active& entry) const;
    void Refresh(const Active& entry);
    // `shown` picks the text when it differs from the job's step.
    void SetStatus(BatchRow& row, int32_t step, int32_t shown = -1);
    int32_t ShownStep(const Active& entry, int32_t step) const;
    void SetProgress(BatchRow& row, int32_t progress);
    void Stop(Active& entry, StopCause cause);
    void Retire(size_t position, int32_t finalStep);
    void DropAllUnstarted();
    void Drop(Active& entry);

    BatchJobFactory factory_;
    std::vector<std::string> statusTexts_;     // by step, looked up once
    std::shared_ptr<BatchSettings> settings_;  // shared with the jobs
    std::vector<BatchRow> rows_;
    std::vector<BatchCamera> cameras_;  // by row
    std::vector<bool> inRun_;           // by row: taking part in the latest run
    std::vector<Active> active_;
    std::vector<std::shared_ptr<BatchJob>> leftovers_;
    bool cancelRequested_ = false;
    size_t maxInService_ = kBatchMaxInService;
    size_t maxFailures_ = 0;
    size_t failed_ = 0;  // cameras of the latest run that failed
    bool busy_ = false;
    int lastShownFinished_ = -1;
    bool endShown_ = false;
    int dropped_ = 0;  // rows an abort left unstarted
};

}  // namespace vcq
