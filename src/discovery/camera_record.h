// One discovered camera and the table the discovery receive thread fills.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vcq {

// Fixed-size plain record; text fields are NUL-terminated and cut to their
// capacity minus one. An empty mac marks a free record.
struct CameraRecord {
    char model[32] = {};
    char serial[12] = {};
    char softVersion[16] = {};
    char mac[18] = {};
    uint8_t ip[4] = {};  // first octet first
    int32_t dhcp = 0;
    int32_t dnsAuto = 0;
    int32_t webPort = 0;

    bool free() const { return mac[0] == '\0'; }
    uint32_t address() const {
        return (uint32_t{ip[0]} << 24) | (uint32_t{ip[1]} << 16) | (uint32_t{ip[2]} << 8) | ip[3];
    }
};

inline constexpr int kDiscoveryTableSize = 256;

// Written by the receive thread, read by the UI thread at any moment. A
// record and the count that includes it are published together under one
// lock, so a reader never sees a half-written record or a count that runs
// ahead of its records.
class DiscoveryTable {
  public:
    enum class StoreResult { Added, Updated, Full };

    // The supported model names; set before discovery starts, then read-only.
    void SetModels(std::vector<std::string> models) { models_ = std::move(models); }
    const std::vector<std::string>& Models() const { return models_; }

    // Number of distinct cameras; records 0 to Count() - 1 are in use.
    int Count() const;
    // A copy of record `index` (0 to 255); a free record beyond Count() reads
    // as whatever the last empty-mac reply left in it.
    CameraRecord Record(int index) const;
    // Copies of the records in use.
    std::vector<CameraRecord> Snapshot() const;

    // The same mac updates its record in place; otherwise the first free
    // record takes it. A reply with an empty mac lands in the first free
    // record and leaves it free. With no free record the reply is dropped.
    StoreResult Store(const CameraRecord& record);

    // The networks the enquiry went to ("eth0 192.168.0.10/24"), for the
    // operator; set when discovery starts.
    void SetSearchedNetworks(std::vector<std::string> networks);
    std::vector<std::string> SearchedNetworks() const;
    // The adapters left out, each with its reason ("Ethernet 2
    // 192.168.0.7/24: the address is a duplicate ..."): at the start, or
    // when one fails during the search.
    void AddSkippedNetwork(std::string reason);
    void ClearSkippedNetworks();
    std::vector<std::string> SkippedNetworks() const;

    // Stop hand-over with the receive thread: the window requests the stop,
    // the thread clears it as its last act.
    void RequestStop() { stop_.store(1, std::memory_order_release); }
    bool StopPending() const { return stop_.load(std::memory_order_acquire) != 0; }
    bool ThreadRunning() const { return running_.load(std::memory_order_acquire); }
    bool Accepting() const { return accepting_.load(std::memory_order_acquire) != 0; }
    void SetAccepting(bool on) { accepting_.store(on ? 1 : 0, std::memory_order_release); }

    // Receive-thread side of the hand-over.
    void MarkStarted();
    void MarkEnded();

  private:
    mutable std::mutex mutex_;
    int count_ = 0;
    std::array<CameraRecord, kDiscoveryTableSize> records_{};
    std::atomic<int> stop_{0};
    std::atomic<int> accepting_{0};
    std::atomic<bool> running_{false};
    std::vector<std::string> models_;
    std::vector<std::string> networks_;  // under mutex_
    std::vector<std::string> skipped_;   // under mutex_
};

}  // namespace vcq
