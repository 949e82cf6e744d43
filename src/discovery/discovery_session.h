// The main window's side of discovery: start, the enquiry at once, one
// 5-second window timer whose first tick repeats the enquiry and whose
// second ends discovery, and the shut-down that waits for the thread.
#pragma once

#include <cstdint>

#include "discovery/camera_record.h"
#include "discovery/discovery_probe.h"
#include "platform/window_port.h"

namespace vcq {

class DiscoverySession {
  public:
    static constexpr uint32_t kTimerPeriodMs = 5000;

    // `table` must have its models set; it outlives the session.
    DiscoverySession(WindowPort& window, DiscoveryTable& table, DiscoveryOptions options = {});
    DiscoverySession(const DiscoverySession&) = delete;
    DiscoverySession& operator=(const DiscoverySession&) = delete;
    ~DiscoverySession() { Shutdown(); }

    void Start();
    // A window timer tick; false when `id` is not the discovery timer.
    bool OnTimer(uint32_t id);
    // Kills the timer if it runs and waits for the receive thread.
    void Shutdown();

    // The timer's id is the probe's identity, as for any window-owned object.
    uint32_t TimerId() const { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&probe_)); }
    int EnquiryCount() const { return enquiryCount_; }

  private:
    WindowPort& window_;
    DiscoveryTable& table_;
    DiscoveryProbe probe_;
    int enquiryCount_ = 0;
    bool timerRunning_ = false;
};

}  // namespace vcq
