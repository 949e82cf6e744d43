#include "upgrade/batch_engine.h"

#include <algorithm>
#include <cstdio>

#include "platform/window_port.h"
#include "upgrade/job_transfers.h"
#include "upgrade/job_values.h"
#include "upgrade/manual_flow.h"
#include "upgrade/phase_table.h"
#include "upgrade/pre_batch.h"
#include "upgrade/retry_plan.h"
#include "upgrade/steps.h"

namespace vcq {
namespace {

struct StepTexts {
    int32_t step;
    int statusId;
    int resultId;  // 0: no log line
};

constexpr StepTexts kStepTexts[] = {
    {0, 258, 0},    {1, 363, 0},    {2, 259, 0},    {3, 260, 0},    {4, 261, 0},    {5, 262, 0},
    {6, 364, 0},    {7, 365, 0},    {8, 263, 315},  {9, 264, 316},  {10, 265, 317}, {11, 257, 318},
    {12, 354, 355}, {13, 358, 356}, {14, 367, 370}, {15, 369, 371},
};

const StepTexts* FindStep(int32_t step) {
    for (const StepTexts& t : kStepTexts)
        if (t.step == step)
            return &t;
    return nullptr;
}

constexpr const char* kNotStartedText = "Not started.\r\n";

// The job's upload has its turn, or is over; a job without phases is taken
// to hold the line from its start until its versionup.
bool OnTheLine(const BatchJob& job) {
    const std::optional<Phase> phase = job.CurrentPhase();
    return phase == Phase::Upload || phase == Phase::VersionUp;
}

}  // namespace

std::string BatchStatusText(int32_t step) {
    const StepTexts* t = FindStep(step);
    return t ? LoadUiText(t->statusId, nullptr) : std::string();
}

std::string BatchResultText(int32_t step) {
    const StepTexts* t = FindStep(step);
    return t && t->resultId ? LoadUiText(t->resultId, nullptr) : std::string();
}

BatchEngine::BatchEngine(BatchJobFactory factory)
    : factory_(std::move(factory)), settings_(std::make_shared<BatchSettings>()) {
    // Every tick refreshes every row: no text decoding in it.
    for (const StepTexts& t : kStepTexts)
        statusTexts_.push_back(BatchStatusText(t.step));
}

BatchEngine::~BatchEngine() {
    Clear();
}

void BatchEngine::Clear() {
    for (Active& entry : active_) {
        entry.job->Abandon();
        if (entry.job->Busy())
            leftovers_.push_back(entry.job);
    }
    active_.clear();
    rows_.clear();
    cameras_.clear();
    inRun_.clear();
    cancelRequested_ = false;
    lastShownFinished_ = -1;
    endShown_ = false;
    dropped_ = 0;
    failed_ = 0;
}

bool BatchEngine::AddCamera(const BatchCamera& camera) {
    if (rows_.size() >= kBatchMaxRows)
        return false;
    BatchRow row;
    row.index = static_cast<int32_t>(rows_.size());
    char id[16];
    std::snprintf(id, sizeof id, "%03d", camera.id > 0 ? camera.id : row.index + 1);
    row.idText = id;
    row.addressText = CameraHostText(camera.ip, camera.port);
    // A camera's own texts may hold CR LF: shown escaped, they cannot forge a line.
    row.model = EscapeControls(camera.model);
    row.version = EscapeControls(camera.version);
    row.dhcp = camera.dhcp;
    row.statusText = statusTexts_[step::kNotStarted];
    Active entry;
    entry.job = factory_(camera, row.index, settings_);
    entry.row = rows_.size();
    rows_.push_back(std::move(row));
    cameras_.push_back(camera);
    inRun_.push_back(true);
    active_.push_back(std::move(entry));
    return true;
}

std::vector<size_t> BatchEngine::NotCompletedRows() const {
    std::vector<size_t> rows;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].end.finalStep != step::kCompleted)
            rows.push_back(i);
    return rows;
}

size_t BatchEngine::RetryNotCompleted(std::time_t startTime) {
    if (!active_.empty())
        return 0;
    // Jobs read the settings when they start, so the old run's jobs never
    // see the new time.
    settings_->startTime = startTime;
    std::fill(inRun_.begin(), inRun_.end(), false);
    for (size_t i : NotCompletedRows()) {
        BatchRow& row = rows_[i];
        cameras_[i].retry = PlanRetry(row.end);
        if (cameras_[i].retry.action == RetryAction::None)
            continue;
        row.statusText = statusTexts_[step::kNotStarted];
        row.progress = 0;
        row.end = {};
        // Named until the camera took it back.
        row.end.keptFile = cameras_[i].retry.keptFile;
        row.stoppedAfterFailures = false;
        row.step = step::kNotStarted;
        row.begun = row.ended = {};
        row.changed = true;
        if (row.dropped) {  // an abort's drop counts for the run that dropped it
            row.dropped = false;
            --dropped_;
        }
        inRun_[i] = true;
        Active entry;
        entry.job = factory_(cameras_[i], row.index, settings_);
        entry.row = i;
        active_.push_back(std::move(entry));
    }
    cancelRequested_ = false;
    lastShownFinished_ = -1;
    failed_ = 0;
    return active_.size();
}

bool BatchEngine::SetLogin(size_t row, std::string user, std::string password) {
    if (!active_.empty() || row >= cameras_.size())
        return false;
    cameras_[row].user = std::move(user);
    cameras_[row].password = std::move(password);
    return true;
}

void BatchEngine::SetSharedSettings(bool retain, bool deleteAfterRestore, std::time_t startTime) {
    settings_->retain = retain ? 1 : 0;
    settings_->deleteAfterRestore = deleteAfterRestore ? 1 : 0;
    settings_->startTime = startTime;
}

int32_t BatchEngine::StepOf(const Active& entry) const {
    // Until its check's outcome is read the job has not started.
    return entry.checking ? step::kNotStarted : entry.job->Step();
}

void BatchEngine::SetMaxInService(size_t count) {
    maxInService_ = std::clamp<size_t>(count, 1, kBatchMaxInServiceLimit);
}

void BatchEngine::SetStatus(BatchRow& row, int32_t step, int32_t shown) {
    static const std::string kNone;
    row.step = step;
    if (shown < 0)
        shown = step;
    const std::string& text = shown >= 0 && static_cast<size_t>(shown) < statusTexts_.size()
                                  ? statusTexts_[shown]
                                  : kNone;
    if (text != row.statusText) {
        row.statusText = text;
        row.changed = true;
    }
}

void BatchEngine::SetProgress(BatchRow& row, int32_t progress) {
    if (progress != row.progress) {
        row.progress = progress;
        row.changed = true;
    }
}

// The step one step covers several phases of: a check reads "Searching", a
// camera gone to restart "Rebooting", one taking its configuration back
// "Loading config file".
int32_t BatchEngine::ShownStep(const Active& entry, int32_t step) const {
    if (entry.stopped)
        return step;
    if (entry.checking)
        return PhaseRowOf(Phase::Check).shown;
    return vcq::ShownStep(step, entry.job->CurrentPhase());
}

// The row follows its job's step; its bar the share of the package sent once
// an upload has begun, else the job's counter; a stopped job's stays.
void BatchEngine::Refresh(const Active& entry) {
    BatchRow& row = rows_[entry.row];
    const int32_t now = StepOf(entry);
    if (!entry.stopped) {
        const UploadTally tally = entry.job->Upload();
        if (now >= step::kUploading && tally.total > 0)
            SetProgress(row, static_cast<int32_t>(std::min(tally.sent, tally.total) *
                                                  kBatchProgressFull / tally.total));
        else
            SetProgress(row, entry.job->Progress());
    }
    SetStatus(row, now, ShownStep(entry, now));
}

void BatchEngine::Stop(Active& entry, StopCause cause) {
    entry.stopped = true;
    entry.checking = false;
    entry.job->Stop(cause);
}

void BatchEngine::Retire(size_t position, int32_t finalStep) {
    Active& entry = active_[position];
    BatchRow& row = rows_[entry.row];
    row.end = EscapedEnd(entry.job->End());
    // A camera whose configuration did not come back is upgraded all the same.
    if (finalStep == step::kCompleted || finalStep == step::kNotRestored) {
        std::string version(PlainVersion(entry.job->TargetVersion()));
        if (version != row.version) {
            row.version = std::move(version);
            row.changed = true;
        }
    }
    SetProgress(row, kBatchProgressFull);
    row.ended = std::chrono::steady_clock::now();
    if (row.end.outcome == BatchOutcome::UpToDate) {
        row.statusText = kUpToDateWord;
        row.changed = true;
    }
    if (row.end.outcome == BatchOutcome::Failed)
        ++failed_;
    if (entry.job->Busy())
        leftovers_.push_back(entry.job);
    active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(position));
}

void BatchEngine::Drop(Active& entry) {
    // A check still under way is let go: its outcome starts nothing.
    entry.job->Abandon();
    if (entry.job->Busy())
        leftovers_.push_back(entry.job);
    SetStatus(rows_[entry.row], step::kNotStarted);  // not "Searching" any more
    SetProgress(rows_[entry.row], 0);                // one prepared ahead sent nothing
    rows_[entry.row].end = {};
    rows_[entry.row].dropped = true;
    ++dropped_;
}

void BatchEngine::DropAllUnstarted() {
    for (Active& entry : active_)
        Drop(entry);
    active_.clear();
}

void BatchEngine::StopNow() {
    cancelRequested_ = true;
    std::erase_if(active_, [this](Active& entry) {
        if (entry.stopped)
            return false;  // told already: it ends as it was going to
        const int32_t now = StepOf(entry);
        if (now == step::kNotStarted) {
            Drop(entry);
            return true;
        }
        Stop(entry, StopCause::Operator);
        return false;
    });
}

bool BatchEngine::Tick() {
    if (busy_)
        return !active_.empty();
    busy_ = true;
    // A job given up on may still be ending its transfer: no upload beside it.
    bool startBlocked = std::any_of(leftovers_.begin(), leftovers_.end(),
                                    [](const auto& job) { return job->InTransfer(); });
    size_t serviced = 0;
    for (size_t i = 0; i < active_.size();) {
        if (serviced >= maxInService_) {
            for (; i < active_.size(); ++i)
                Refresh(active_[i]);
            break;
        }
        Active& entry = active_[i];
        const int32_t now = StepOf(entry);
        if (entry.stopped && entry.job->InTransfer()) {
            // Asked to stop: it keeps its place, and holds back every start,
            // until its transfer has ended.
            startBlocked = true;
            Refresh(entry);
        } else if (now == step::kNotStarted && StoppedAfterFailures()) {
            Drop(entry);  // its check too, if one is under way
            rows_[entry.row].stoppedAfterFailures = true;
            active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        } else if (now == step::kNotStarted && !cancelRequested_) {
            if (!startBlocked) {
                // The check runs elsewhere; until its outcome is known no
                // other camera starts.
                if (!entry.checking) {
                    rows_[entry.row].begun = std::chrono::steady_clock::now();
                    entry.job->BeginCheck();
                    entry.checking = true;
                }
                CheckOutcome outcome = entry.job->PollCheck();
                if (outcome != CheckOutcome::Pending) {
                    BatchRow& row = rows_[entry.row];
                    row.serial = entry.job->Serial();
                    // A camera the first identify missed is named by its check.
                    if (row.model.empty() && !entry.job->Model().empty()) {
                        row.model = EscapeControls(entry.job->Model());
                        row.changed = true;
                    }
                }
                if (outcome != CheckOutcome::Pending && outcome != CheckOutcome::Passed) {
                    // Its check's verdict is its end.
                    Stop(entry, StopCause::CheckVerdict);
                    ++serviced;
                    ++i;
                    continue;
                }
                if (outcome == CheckOutcome::Passed) {
                    entry.checking = false;
                    entry.job->Start();
                }
                startBlocked = true;
            }
            Refresh(entry);
        } else if (IsFinalStep(now)) {
            SetStatus(rows_[entry.row], now);
            Retire(i, now);
            ++serviced;
            continue;  // the next job moved into this place
        } else {
            // Saving, unpacking, switching FTP on or waiting for its turn:
            // the next camera waits. Once this one's upload has the line,
            // the next is prepared beside it.
            if ((now == step::kSavingConfig || now == step::kUploading) && !OnTheLine(*entry.job))
                startBlocked = true;
            // An abort lets the cameras under way finish; one prepared ahead
            // has sent nothing yet: it is not started, as the others.
            if (cancelRequested_ && !entry.stopped &&
                entry.job->CurrentPhase() == Phase::AwaitTurn) {
                Drop(entry);
                active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            // A camera flashing, restarting or taking its configuration back
            // is bounded by its job's own limits; cutting it short here would
            // leave it unrestored.
            const bool ownLimits = now == step::kOverwriting || now == step::kReconfiguring;
            if (now > step::kNotStarted && entry.job->AddProgress(1) > kBatchProgressFull &&
                !ownLimits) {
                Stop(entry, StopCause::Backstop);
                if (entry.job->InTransfer())
                    startBlocked = true;
            }
            Refresh(entry);
        }
        if (cancelRequested_ &&
            std::all_of(active_.begin(), active_.end(),
                        [this](const Active& a) { return StepOf(a) == step::kNotStarted; })) {
            DropAllUnstarted();
            break;
        }
        ++serviced;
        ++i;
    }
    if (active_.empty())
        cancelRequested_ = false;
    busy_ = false;
    return !active_.empty();
}

std::vector<size_t> BatchEngine::TakeChangedRows() {
    std::vector<size_t> changed;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].changed) {
            rows_[i].changed = false;
            changed.push_back(i);
        }
    }
    return changed;
}

std::optional<ProceededUpdate> BatchEngine::PollCounter() {
    const int rows = static_cast<int>(rows_.size());
    const int finished = rows - static_cast<int>(active_.size()) - dropped_;
    // The end shows even when an abort left the count where it was.
    if (finished == lastShownFinished_ && (!active_.empty() || endShown_))
        return std::nullopt;
    endShown_ = active_.empty();
    lastShownFinished_ = finished;
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d", finished, rows);
    return ProceededUpdate{text, active_.empty()};
}

std::string BatchEngine::LogLine(size_t index) const {
    const BatchRow& row = rows_.at(index);
    if (row.progress == 0 && !row.dropped)
        return "";
    std::string line = row.model + (row.dhcp ? "(DHCP:" : "(") + row.addressText + ") ";
    if (row.dropped)
        return line + kNotStartedText;
    if (row.end.outcome == BatchOutcome::Refused)
        return line + "Not upgradable: " + row.end.reason + "\r\n";
    if (row.end.outcome == BatchOutcome::UpToDate)
        return line + row.end.reason + "\r\n";
    line += BatchResultText(row.end.finalStep);
    if (const std::string note = RowNote(row); !note.empty())
        line += "    " + note + "\r\n";
    return line;
}

std::string RowNote(const BatchRow& row) {
    return WithKeptFile(row.end.reason, row.end.keptFile);
}

std::string BatchEngine::LogText() const {
    std::string text;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (inRun_[i])
            text += LogLine(i);
    return text;
}

size_t BatchEngine::BusyLeftovers() {
    std::erase_if(leftovers_, [](const std::shared_ptr<BatchJob>& job) { return !job->Busy(); });
    return leftovers_.size();
}

}  // namespace vcq
