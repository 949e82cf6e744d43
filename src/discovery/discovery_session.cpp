#include "discovery/discovery_session.h"

namespace vcq {

DiscoverySession::DiscoverySession(WindowPort& window, DiscoveryTable& table,
                                   DiscoveryOptions options)
    : window_(window), table_(table), probe_(std::move(options)) {}

void DiscoverySession::Start() {
    probe_.Start(table_);
    enquiryCount_ = 0;
    window_.SetTimer(TimerId(), kTimerPeriodMs);
    timerRunning_ = true;
    // Without a running thread (no sockets layer) nothing is sent.
    if (table_.ThreadRunning())
        probe_.SendEnquiry();
}

bool DiscoverySession::OnTimer(uint32_t id) {
    if (!timerRunning_ || id != TimerId())
        return false;
    if (enquiryCount_ == 0) {
        if (table_.ThreadRunning())
            probe_.SendEnquiry();
        enquiryCount_ = 1;
    } else {
        window_.KillTimer(id);
        timerRunning_ = false;
        if (table_.ThreadRunning())
            table_.RequestStop();
    }
    return true;
}

void DiscoverySession::Shutdown() {
    if (timerRunning_) {
        window_.KillTimer(TimerId());
        timerRunning_ = false;
    }
    probe_.StopAndWait();
}

}  // namespace vcq
