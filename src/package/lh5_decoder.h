// The -lh5- decoder: an 8 KiB sliding dictionary inside a larger ring that
// is also the output buffer, a 12-bit table for literal-and-length codes and
// 8-bit tables for the pre-table and the position codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "package/byte_order.h"
#include "package/huffman_table.h"

namespace vcq {

class Lh5Decoder {
  public:
    static constexpr size_t kDictSize = 8192;
    // The output ring: a chunk stays there, untouched, until the chunks
    // decoded after it fill the rest of the ring, so a writer may take it
    // while the decoder goes on.
    static constexpr size_t kRingSize = 32 * kDictSize;
    // Matches are copied 16 bytes at a time and may scribble on up to 15
    // bytes past the chunk: a writer may hold at most this much of the ring
    // while a chunk is decoded.
    static constexpr size_t kRingHeld = kRingSize - kDictSize;

    // Gives up to `max` bytes of the member's compressed data; 0 at its end.
    using Source = std::function<size_t(uint8_t* buf, size_t max)>;

    void Start(Source source);

    // Decodes the next n bytes into Output()[0..n). Every chunk but a
    // member's last must be kDictSize bytes: chunks lie one after another in
    // the ring, member offset modulo kRingSize. False when the stream is
    // broken: a bad code table, or more bits used than the member holds.
    // The output is then unusable.
    bool Decode(size_t n);
    const uint8_t* Output() const { return ring_ + chunk_; }

  private:
    static constexpr int kLiteralCodes = 510;  // 256 literals + lengths 3..256
    static constexpr int kPositionCodes = 14;
    static constexpr int kPreCodes = 19;

    void FillInput();
    void RefillSlow();
    void Refill() {
        if (count_ > 56)
            return;
        if (inEnd_ - inPos_ >= 8) {
            bits_ |= LoadBigEndian64(inPos_) >> count_;
            int take = (63 - count_) >> 3;
            inPos_ += take;
            fedBytes_ += static_cast<uint64_t>(take);
            count_ += take * 8;
        } else {
            RefillSlow();
        }
    }
    void Consume(unsigned n) {
        bits_ <<= n;
        count_ -= static_cast<int>(n);
    }
    unsigned GetBits(unsigned n) {  // n in 1..16
        Refill();
        unsigned v = static_cast<unsigned>(bits_ >> (64 - n));
        Consume(n);
        return v;
    }
    bool ReadBlockHeader();
    bool ReadPreOrPositionLengths(HuffmanTable<kPreCodes, 8>& t, int n, int nbit, int special);
    bool ReadLiteralLengths();
    bool Overrun() const;

    Source source_;
    bool sourceDone_ = false;
    uint64_t sourceBytes_ = 0;  // real bytes the source gave
    uint64_t fedBytes_ = 0;     // bytes moved into the bit buffer, padding included
    uint8_t in_[kDictSize + 64];
    const uint8_t* inPos_ = in_;
    const uint8_t* inEnd_ = in_;
    uint64_t bits_ = 0;  // left-aligned
    int count_ = 0;      // valid bits in bits_

    uint32_t blockLeft_ = 0;
    unsigned copyPos_ = 0;
    unsigned pendingLen_ = 0;
    size_t chunk_ = 0;                    // where the last chunk starts in the ring
    size_t next_ = 0;                     // where the next one starts
    static constexpr size_t kSpare = 16;  // for the copies that pass the ring's end
    uint8_t ring_[kRingSize + kSpare];

    HuffmanTable<kPreCodes, 8> pre_;
    HuffmanTable<kLiteralCodes, 12> literal_;
    HuffmanTable<kPreCodes, 8> position_;
};

}  // namespace vcq
