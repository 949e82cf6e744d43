// Takes a member's decoded chunks on a thread of its own, adds them to the
// CRC and hands them to the sink while the decoder makes the next ones:
// decoding never waits on the file system, and the sink gets few large
// writes instead of one a chunk.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vcq {

class MemberSink;

class WriteBehind {
  public:
    WriteBehind();
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Starts a member: its bytes go to `sink`, at most `capacity` of them
    // queued or being written at a time.
    void Begin(MemberSink* sink, size_t capacity);
    // Waits until `size` more bytes fit.
    void WaitRoom(size_t size);
    // Queues bytes; they must stay untouched until WaitRoom or Finish has
    // seen room for what follows them.
    void Push(const uint8_t* data, size_t size);
    // Waits for every byte pushed. False when the sink refused a write;
    // `crc` gets the CRC-16 of the bytes pushed since Begin.
    bool Finish(uint16_t& crc);
    // A write failed: decoding on would be wasted.
    bool Failed() const { return failed_.load(std::memory_order_relaxed); }

  private:
    struct Span {
        const uint8_t* data;
        size_t size;
    };
    void Loop();
    bool HasWork() const;

    std::mutex mutex_;
    std::condition_variable work_;  // for the writer
    std::condition_variable room_;  // for the decoder
    std::vector<Span> queue_;       // pushed, not yet taken by the writer
    size_t waiting_ = 0;            // bytes in queue_
    size_t held_ = 0;               // bytes pushed and not yet written
    size_t capacity_ = 0;
    bool urgent_ = false;  // the decoder waits: write whatever is queued
    bool quit_ = false;
    MemberSink* sink_ = nullptr;
    uint16_t crc_ = 0;
    std::atomic<bool> failed_{false};
    std::thread thread_;  // last: starts once the rest is set up
};

}  // namespace vcq
