#include "package/write_behind.h"

#include "package/crc16.h"
#include "package/member_sink.h"

namespace vcq {
namespace {

// Below this the writer waits for more: fewer, larger writes.
constexpr size_t kBatch = 64 * 1024;

}  // namespace

WriteBehind::WriteBehind() : thread_([this] { Loop(); }) {}

WriteBehind::~WriteBehind() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    work_.notify_one();
    thread_.join();
}

void WriteBehind::Begin(MemberSink* sink, size_t capacity) {
    std::lock_guard lock(mutex_);
    sink_ = sink;
    capacity_ = capacity;
    crc_ = 0;
    failed_.store(false, std::memory_order_relaxed);
}

void WriteBehind::WaitRoom(size_t size) {
    std::unique_lock lock(mutex_);
    if (held_ + size <= capacity_)
        return;
    urgent_ = true;
    work_.notify_one();
    room_.wait(lock, [&] { return held_ + size <= capacity_; });
    urgent_ = false;
}

void WriteBehind::Push(const uint8_t* data, size_t size) {
    std::lock_guard lock(mutex_);
    queue_.push_back({data, size});
    waiting_ += size;
    held_ += size;
    if (waiting_ >= kBatch)
        work_.notify_one();
}

bool WriteBehind::Finish(uint16_t& crc) {
    std::unique_lock lock(mutex_);
    urgent_ = true;
    work_.notify_one();
    room_.wait(lock, [&] { return held_ == 0; });
    urgent_ = false;
    sink_ = nullptr;
    crc = crc_;
    return !failed_.load(std::memory_order_relaxed);
}

bool WriteBehind::HasWork() const {
    return waiting_ != 0 && (waiting_ >= kBatch || urgent_);
}

void WriteBehind::Loop() {
    std::vector<Span> batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [&] { return quit_ || HasWork(); });
        if (quit_)
            return;
        batch.swap(queue_);
        const size_t bytes = waiting_;
        waiting_ = 0;
        MemberSink* sink = sink_;
        uint16_t crc = crc_;
        bool failed = failed_.load(std::memory_order_relaxed);
        lock.unlock();

        // Chunks that follow each other in memory go out as one write.
        for (size_t i = 0; i < batch.size();) {
            const uint8_t* data = batch[i].data;
            size_t size = batch[i].size;
            for (++i; i < batch.size() && batch[i].data == data + size; ++i)
                size += batch[i].size;
            crc = UpdateCrc16(crc, data, size);
            if (!failed && !sink->Write(data, size))
                failed = true;
        }
        batch.clear();

        lock.lock();
        crc_ = crc;
        failed_.store(failed, std::memory_order_relaxed);
        held_ -= bytes;
        room_.notify_one();
    }
}

}  // namespace vcq
