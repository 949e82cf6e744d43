#include "upgrade/batch_driver.h"

#include <algorithm>

#include "upgrade/batch_engine.h"
#include "upgrade/steps.h"

namespace vcq {

void BatchDriver::Begin(Clock::time_point now) {
    running_ = true;
    nextTick_ = now;
    ended_.assign(engine_.RowCount(), false);
    // Rows a retry leaves as they were ended in the run before.
    for (size_t i = 0; i < engine_.RowCount(); ++i)
        ended_[i] = engine_.Row(i).end.finalStep != step::kNotStarted;
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
        if (!ended_[i] && IsFinalStep(engine_.Row(i).end.finalStep)) {
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
