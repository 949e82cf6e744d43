// The one driver of a batch, for the wizard's page and the headless tool
// alike: the engine's tick every 33 ms and the end of the batch. A front end calls Pulse() from its
// own clock (a window timer, or its loop) and hears through its Listener what changed.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace vcq {

class BatchEngine;

class BatchDriver {
  public:
    using Clock = std::chrono::steady_clock;

    // What a front end hears, on the thread that calls Pulse.
    class Listener {
      public:
        virtual ~Listener() = default;
        // The row's status, progress or version changed.
        virtual void RowChanged(size_t /*row*/) {}
        // The row's camera ended (final step, or dropped unstarted): once a run.
        virtual void RowEnded(size_t /*row*/) {}
        // No job is left: once a run.
        virtual void Ended() {}
    };

    explicit BatchDriver(BatchEngine& engine) : engine_(engine) {}
    void SetListener(Listener* listener) { listener_ = listener; }

    // Starts the run (again after a retry): the first tick is due at once.
    void Begin(Clock::time_point now);
    bool Running() const { return running_; }
    // Ticks the engine when a tick is due and tells the listener. False once the run has ended.
    bool Pulse(Clock::time_point now);
    // When the next tick is due: a loop sleeps until then.
    Clock::time_point NextPulse() const { return nextTick_; }
    // The rows whose cameras are under way (begun, not ended), in order.
    std::vector<size_t> UnderWay() const;
    // The longest engine tick: what a window driving it would stall.
    Clock::duration LongestTick() const { return longestTick_; }

  private:
    void EndRows(bool all);

    BatchEngine& engine_;
    Listener* listener_ = nullptr;
    bool running_ = false;
    Clock::time_point nextTick_{};
    Clock::duration longestTick_{};
    std::vector<bool> ended_;  // by row, in this run
};

}  // namespace vcq
