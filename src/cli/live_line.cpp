#include "cli/live_line.h"

#include <cstdio>

#include "platform/terminal.h"
#include "upgrade/steps.h"

namespace vcq::cli {

void LiveLine::Begin(const BatchEngine& engine) {
    if (!enabled_)
        return;
    start_ = std::chrono::steady_clock::now();
    timeline_.Begin(engine, 0);
}

double LiveLine::Now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void LiveLine::Clear() {
    if (!enabled_ || width_ == 0)
        return;
    std::printf("\r%*s\r", static_cast<int>(width_), "");
    std::fflush(stdout);
    width_ = 0;
    shown_.clear();
}

void LiveLine::Update(const BatchEngine& engine) {
    if (!enabled_)
        return;
    const double now = Now();
    timeline_.Observe(engine, now);
    size_t completed = 0, failed = 0, underWay = 0, waiting = 0;
    for (size_t i = 0; i < engine.RowCount(); ++i) {
        const BatchRow& row = engine.Row(i);
        if (row.end.finalStep == step::kCompleted)
            ++completed;
        else if (IsFinalStep(row.end.finalStep))
            failed += row.dropped ? 0 : 1;
        else if (row.begun != std::chrono::steady_clock::time_point{})
            ++underWay;
        else
            ++waiting;
    }
    const std::optional<double> left = timeline_.SecondsLeft(now);
    char text[160];
    std::snprintf(text, sizeof text,
                  "completed %zu, failed %zu, under way %zu, waiting %zu, elapsed %s, left %s",
                  completed, failed, underWay, waiting,
                  DurationText(timeline_.ElapsedSeconds(now)).c_str(),
                  left ? DurationText(*left).c_str() : "--");
    Draw(text);
}

void LiveLine::Draw(const std::string& text) {
    // A line wider than the terminal would wrap and could not be redrawn.
    const size_t columns = static_cast<size_t>(sys::TerminalColumns());
    const std::string fitted = text.substr(0, columns > 1 ? columns - 1 : 0);
    if (fitted == shown_)
        return;
    const int pad = width_ > fitted.size() ? static_cast<int>(width_ - fitted.size()) : 0;
    std::printf("\r%s%*s", fitted.c_str(), pad, "");
    std::fflush(stdout);
    shown_ = fitted;
    width_ = fitted.size() + static_cast<size_t>(pad);
}

void LiveLine::End() {
    Clear();
}

}  // namespace vcq::cli
