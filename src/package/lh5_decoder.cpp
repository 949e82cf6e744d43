#include "package/lh5_decoder.h"

#include <cstring>

namespace vcq {

void Lh5Decoder::Start(Source source) {
    source_ = std::move(source);
    sourceDone_ = false;
    sourceBytes_ = fedBytes_ = 0;
    inPos_ = inEnd_ = in_;
    bits_ = 0;
    count_ = 0;
    blockLeft_ = 0;
    copyPos_ = pendingLen_ = 0;
    chunk_ = next_ = 0;
    // The first chunk's matches reach back into the ring's end: zeros there.
    std::memset(ring_ + kRingSize - kDictSize, 0, kDictSize + kSpare);
}

void Lh5Decoder::FillInput() {
    // Bytes left over are fed by Refill before it asks for more.
    size_t k = sourceDone_ ? 0 : source_(in_, kDictSize);
    if (k == 0) {
        // Past the member's data the reader supplies zero bytes; Overrun()
        // tells when they were actually used.
        sourceDone_ = true;
        std::memset(in_, 0, 64);
        k = 64;
    } else {
        sourceBytes_ += k;
    }
    inPos_ = in_;
    inEnd_ = in_ + k;
}

void Lh5Decoder::RefillSlow() {
    while (count_ <= 56) {
        if (inPos_ == inEnd_)
            FillInput();
        bits_ |= static_cast<uint64_t>(*inPos_++) << (56 - count_);
        count_ += 8;
        ++fedBytes_;
    }
}

bool Lh5Decoder::Overrun() const {
    uint64_t fed = fedBytes_;
    return fed * 8 - static_cast<uint64_t>(count_) > sourceBytes_ * 8;
}

bool Lh5Decoder::ReadPreOrPositionLengths(HuffmanTable<kPreCodes, 8>& t, int n, int nbit,
                                          int special) {
    int count = static_cast<int>(GetBits(nbit));
    if (count == 0)
        return t.SetSingle(n, GetBits(nbit));
    if (count > n)
        return false;
    int i = 0;
    while (i < count) {
        Refill();
        unsigned c = static_cast<unsigned>(bits_ >> 61);
        if (c == 7) {
            uint64_t mask = 1ull << 60;
            while (bits_ & mask) {
                mask >>= 1;
                if (++c > 16)
                    return false;
            }
        }
        Consume(c < 7 ? 3 : c - 3);
        t.len[i++] = static_cast<uint8_t>(c);
        if (i == special) {
            int zeros = static_cast<int>(GetBits(2));
            if (i + zeros > n)
                return false;
            while (zeros-- > 0)
                t.len[i++] = 0;
        }
    }
    while (i < n)
        t.len[i++] = 0;
    return t.Build(n);
}

bool Lh5Decoder::ReadLiteralLengths() {
    int count = static_cast<int>(GetBits(9));
    if (count == 0)
        return literal_.SetSingle(kLiteralCodes, GetBits(9));
    if (count > kLiteralCodes)
        return false;
    int i = 0;
    while (i < count) {
        Refill();
        unsigned bitLength;
        unsigned c = pre_.Decode(bits_, bitLength);
        Consume(bitLength);
        if (c <= 2) {
            int zeros = c == 0   ? 1
                        : c == 1 ? static_cast<int>(GetBits(4)) + 3
                                 : static_cast<int>(GetBits(9)) + 20;
            if (i + zeros > kLiteralCodes)
                return false;
            while (zeros-- > 0)
                literal_.len[i++] = 0;
        } else {
            literal_.len[i++] = static_cast<uint8_t>(c - 2);
        }
    }
    while (i < kLiteralCodes)
        literal_.len[i++] = 0;
    return literal_.Build(kLiteralCodes);
}

bool Lh5Decoder::ReadBlockHeader() {
    unsigned size = GetBits(16);
    blockLeft_ = size == 0 ? 65536 : size;
    return ReadPreOrPositionLengths(pre_, kPreCodes, 5, 3) && ReadLiteralLengths() &&
           ReadPreOrPositionLengths(position_, kPositionCodes, 4, -1);
}

namespace {

// Copies n bytes forward when the source is at least 8 bytes behind the
// destination or does not overlap it: 8-byte moves, the last one ending
// exactly at the end, so nothing past dst + n is touched.
inline void CopyForward(uint8_t* dst, const uint8_t* src, size_t n) {
    if (n >= 8) {
        size_t k = 0;
        for (; k + 8 <= n; k += 8)
            std::memcpy(dst + k, src + k, 8);
        if (k < n)
            std::memcpy(dst + n - 8, src + n - 8, 8);
    } else if (n >= 4) {
        uint32_t a, b;
        std::memcpy(&a, src, 4);
        std::memcpy(&b, src + n - 4, 4);
        std::memcpy(dst, &a, 4);
        std::memcpy(dst + n - 4, &b, 4);
    } else {
        for (size_t k = 0; k < n; ++k)
            dst[k] = src[k];
    }
}

}  // namespace

bool Lh5Decoder::Decode(size_t n) {
    static_assert(kRingSize % kDictSize == 0 && (kRingSize & (kRingSize - 1)) == 0);
    constexpr unsigned kMask = kRingSize - 1;
    if (n > kDictSize || next_ + n > kRingSize)
        return false;
    const unsigned base = static_cast<unsigned>(next_);
    chunk_ = base;
    next_ = (base + n) & kMask;
    uint8_t* const ring = ring_;
    uint8_t* const out = ring_ + base;
    size_t r = 0;
    while (pendingLen_ > 0 && r < n) {
        out[r++] = ring[copyPos_];
        copyPos_ = (copyPos_ + 1) & kMask;
        --pendingLen_;
    }

    // The hot loop works on local copies: stores into the output bytes
    // could otherwise alias the members and force reloads.
    uint64_t bits = bits_;
    int count = count_;
    const uint8_t* inPos = inPos_;
    const uint8_t* inEnd = inEnd_;
    uint64_t fed = fedBytes_;
    uint32_t blockLeft = blockLeft_;
    auto save = [&] {
        bits_ = bits;
        count_ = count;
        inPos_ = inPos;
        fedBytes_ = fed;
        blockLeft_ = blockLeft;
    };
    auto load = [&] {
        bits = bits_;
        count = count_;
        inPos = inPos_;
        inEnd = inEnd_;
        fed = fedBytes_;
        blockLeft = blockLeft_;
    };
    auto refill = [&] {
        if (count > 56)
            return;
        if (inEnd - inPos >= 8) {
            const uint64_t v = LoadBigEndian64(inPos);
            bits |= v >> count;
            int take = (63 - count) >> 3;
            inPos += take;
            fed += static_cast<uint64_t>(take);
            count += take * 8;
        } else {
            save();
            RefillSlow();
            load();
        }
    };
    auto consume = [&](unsigned k) {
        bits <<= k;
        count -= static_cast<int>(k);
    };

    while (r < n) {
        if (blockLeft == 0) {
            save();
            if (!ReadBlockHeader() || Overrun())
                return false;
            load();
        }
        --blockLeft;
        refill();
        unsigned bitLength;
        unsigned c = literal_.Decode(bits, bitLength);
        consume(bitLength);
        if (c < 256) {
            out[r++] = static_cast<uint8_t>(c);
            // A refill leaves at least 57 bits: room for two more literal
            // codes of up to 16 bits and a following match's 44.
            if (r < n && blockLeft != 0 && count >= 16) {
                unsigned c2 = literal_.Decode(bits, bitLength);
                if (c2 < 256) {
                    consume(bitLength);
                    --blockLeft;
                    out[r++] = static_cast<uint8_t>(c2);
                }
            }
            continue;
        }
        if (count < 44)
            refill();
        unsigned length = c - 253;
        unsigned p = position_.Decode(bits, bitLength);
        consume(bitLength);
        unsigned distance = p;
        if (p > 1) {
            distance = (1u << (p - 1)) + static_cast<unsigned>(bits >> (64 - (p - 1)));
            consume(p - 1);
        }
        const unsigned at = base + static_cast<unsigned>(r);
        unsigned from = (at - distance - 1) & kMask;
        size_t room = n - r;
        unsigned now = length <= room ? length : static_cast<unsigned>(room);
        if (from + now <= kRingSize && (from + 16 <= at || from >= at + now + 16)) {
            // Source and destination 16 bytes apart at least: whole blocks,
            // the last one running past the match.
            uint8_t* d = out + r;
            const uint8_t* s = ring + from;
            for (unsigned k = 0; k < now; k += 16)
                std::memcpy(d + k, s + k, 16);
            r += now;
            from = (from + now) & kMask;
        } else if (from + now <= kRingSize && (from + 8 <= at || from >= at + now)) {
            CopyForward(out + r, ring + from, now);
            r += now;
            from = (from + now) & kMask;
        } else {
            for (unsigned k = 0; k < now; ++k) {
                out[r++] = ring[from];
                from = (from + 1) & kMask;
            }
        }
        if (now < length) {
            copyPos_ = from;
            pendingLen_ = length - now;
        }
    }
    save();
    return !Overrun();
}

}  // namespace vcq
