// The status line `batch` keeps under its change lines on a terminal:
// completed, failed, under way, waiting, elapsed and time left. Redirected
// output gets none.
#pragma once

#include <chrono>
#include <string>

#include "upgrade/batch_engine.h"
#include "upgrade/batch_estimate.h"

namespace vcq::cli {

class LiveLine {
  public:
    // Shown only when `enabled` (standard output a terminal, no JSON).
    explicit LiveLine(bool enabled) : enabled_(enabled) {}

    // The batch starts now.
    void Begin(const BatchEngine& engine);
    // Takes the line away before a change line is printed; the next Update
    // draws it again below.
    void Clear();
    // After each tick: redraws the line when its text changed.
    void Update(const BatchEngine& engine);
    // The batch ended: the line goes for good.
    void End();

  private:
    double Now() const;
    void Draw(const std::string& text);

    const bool enabled_;
    BatchTimeline timeline_;
    std::chrono::steady_clock::time_point start_{};
    std::string shown_;  // on the screen now
    size_t width_ = 0;   // of the line on the screen
};

}  // namespace vcq::cli
