#include "discovery/camera_record.h"

#include <cstring>

namespace vcq {

int DiscoveryTable::Count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

CameraRecord DiscoveryTable::Record(int index) const {
    if (index < 0 || index >= kDiscoveryTableSize)
        return {};
    std::lock_guard lock(mutex_);
    return records_[static_cast<size_t>(index)];
}

std::vector<CameraRecord> DiscoveryTable::Snapshot() const {
    std::lock_guard lock(mutex_);
    return {records_.begin(), records_.begin() + count_};
}

DiscoveryTable::StoreResult DiscoveryTable::Store(const CameraRecord& record) {
    std::lock_guard lock(mutex_);
    CameraRecord* target = nullptr;
    for (auto& r : records_) {
        if (std::strcmp(r.mac, record.mac) == 0) {
            r = record;
            return StoreResult::Updated;
        }
        if (!target && r.free())
            target = &r;
    }
    if (!target)
        return StoreResult::Full;
    *target = record;
    ++count_;
    return StoreResult::Added;
}

void DiscoveryTable::MarkStarted() {
    stop_.store(0, std::memory_order_release);
    accepting_.store(1, std::memory_order_release);
    running_.store(true, std::memory_order_release);
}

void DiscoveryTable::MarkEnded() {
    running_.store(false, std::memory_order_release);
    stop_.store(0, std::memory_order_release);
}

void DiscoveryTable::SetSearchedNetworks(std::vector<std::string> networks) {
    std::lock_guard lock(mutex_);
    networks_ = std::move(networks);
}

std::vector<std::string> DiscoveryTable::SearchedNetworks() const {
    std::lock_guard lock(mutex_);
    return networks_;
}

void DiscoveryTable::AddSkippedNetwork(std::string reason) {
    std::lock_guard lock(mutex_);
    skipped_.push_back(std::move(reason));
}

void DiscoveryTable::ClearSkippedNetworks() {
    std::lock_guard lock(mutex_);
    skipped_.clear();
}

std::vector<std::string> DiscoveryTable::SkippedNetworks() const {
    std::lock_guard lock(mutex_);
    return skipped_;
}

}  // namespace vcq
