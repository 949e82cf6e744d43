#include "upgrade/batch_driver.h"

#include <algorithm>

#include "upgrade/batch_engine.h"
#include "upgrade/camera_upgrade.h"

namespace vcq {

MessageAnswer JobTimerPort::MessageBox(const std::string& text, const std::string& caption,
                                       MessageIcon icon, MessageButtons buttons) {
    return window_->MessageBox(text, caption, icon, buttons);
}

void JobTimerPort::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    window_->PostMessage(message, wParam, lParam);
}

void JobTimerPort::SetTimer(uint32_t id, uint32_t periodMs) {
    const Clock::duration period = std::chrono::milliseconds(std::max<uint32_t>(periodMs, 1));
    std::lock_guard lock(mutex_);
    // Due one period after the driver's next look: its clock, not ours.
    timers_[id] = Timer{period, std::nullopt};
}

void JobTimerPort::KillTimer(uint32_t id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

bool JobTimerPort::TimerActive(uint32_t id) const {
    std::lock_guard lock(mutex_);
    return timers_.count(id) > 0;
}

std::vector<uint32_t> JobTimerPort::Due(Clock::time_point now) {
    std::vector<uint32_t> due;
    std::lock_guard lock(mutex_);
    for (auto& [id, timer] : timers_) {
        if (!timer.due)
            timer.due = now + timer.period;
        if (now < *timer.due)
            continue;
        due.push_back(id);
        *timer.due += timer.period;
        if (*timer.due <= now)
            timer.due = now + timer.period;
    }
    return due;
}

void BatchDriver::Begin(Clock::time_point now) {
    running_ = true;
    nextTick_ = now;
    ended_.assign(engine_.RowCount(), false);
    // Rows a retry leaves as they were ended in the run before.
    for (size_t i = 0; i < engine_.RowCount(); ++i)
        ended_[i] = engine_.Row(i).finalStep != step::kNotStarted;
}

bool BatchDriver::Pulse(Clock::time_point now) {
    if (!running_)
        return false;
    // A window timer of the tick's own period may fire a little early.
    if (now + std::chrono::milliseconds(kBatchTickMs / 2) < nextTick_)
        return true;
    const Clock::time_point started = Clock::now();
    const bool more = engine_.Tick();
    longestTick_ = std::max(longestTick_, Clock::now() - started);
    // Keep the pace without a burst of catch-up ticks after a stall.
    nextTick_ = std::max(nextTick_ + std::chrono::milliseconds(kBatchTickMs),
                         now - std::chrono::milliseconds(kBatchTickMs));
    for (uint32_t id : timers_.Due(now))
        if (!engine_.OnCameraTimer(id))
            timers_.KillTimer(id);
    EndRows(!more);
    if (!more) {
        running_ = false;
        if (listener_)
            listener_->Ended();
    }
    return running_;
}

void BatchDriver::EndRows(bool all) {
    ended_.resize(engine_.RowCount(), false);
    for (size_t i : engine_.TakeChangedRows()) {
        if (listener_)
            listener_->RowChanged(i);
        if (!ended_[i] && IsFinalStep(engine_.Row(i).finalStep)) {
            ended_[i] = true;
            if (listener_)
                listener_->RowEnded(i);
        }
    }
    if (!all)
        return;
    // Cameras an abort dropped end with the run.
    for (size_t i = 0; i < engine_.RowCount(); ++i) {
        if (!ended_[i]) {
            ended_[i] = true;
            if (listener_)
                listener_->RowEnded(i);
        }
    }
}

std::vector<size_t> BatchDriver::UnderWay() const {
    std::vector<size_t> rows;
    for (size_t i = 0; i < engine_.RowCount(); ++i) {
        const BatchRow& row = engine_.Row(i);
        if (row.begun != BatchRow{}.begun && row.ended == BatchRow{}.ended && !row.dropped)
            rows.push_back(i);
    }
    return rows;
}

}  // namespace vcq
