// Canonical code tables of the -lh5- method: a direct table over the top
// kTableBits of the bit buffer, and a small tree below each entry for the
// codes that are longer. Codes are at most 16 bits.
#pragma once

#include <cstdint>
#include <cstring>

namespace vcq {

template <int kMaxSymbols, int kTableBits>
struct HuffmanTable {
    static constexpr uint16_t kUnset = 0xFFFF;
    static constexpr uint32_t kNode = 0x80000000u;

    int symbols = kMaxSymbols;  // symbols in use; values >= this are tree nodes
    uint8_t len[kMaxSymbols];
    uint16_t table[1 << kTableBits];
    uint16_t left[2 * kMaxSymbols];
    uint16_t right[2 * kMaxSymbols];
    // table with the code length packed in: symbol | length << 16, or
    // kNode | node for the longer codes. Saves a look-up per symbol.
    uint32_t packed[1 << kTableBits];

    // Every look-up yields `symbol` and consumes no bits.
    bool SetSingle(int n, unsigned symbol) {
        if (symbol >= static_cast<unsigned>(n))
            return false;
        symbols = n;
        for (int i = 0; i < n; ++i)
            len[i] = 0;
        for (auto& t : table)
            t = static_cast<uint16_t>(symbol);
        for (auto& p : packed)
            p = symbol;
        return true;
    }

    // Builds the tables from len[0..n). False unless the lengths form a
    // complete prefix code: an incomplete or over-full code would leave
    // holes or clashes that a hostile archive could walk into.
    bool Build(int n) {
        symbols = n;
        uint32_t count[17] = {};
        for (int s = 0; s < n; ++s) {
            if (len[s] > 16)
                return false;
            ++count[len[s]];
        }
        uint32_t total = 0;
        for (int l = 1; l <= 16; ++l)
            total += count[l] << (16 - l);
        if (total != (1u << 16))
            return false;

        uint32_t next[17];
        uint32_t code = 0;
        count[0] = 0;
        for (int l = 1; l <= 16; ++l) {
            code = (code + count[l - 1]) << 1;
            next[l] = code;
        }
        static_assert(kUnset == 0xFFFF);
        std::memset(table, 0xFF, sizeof table);
        int avail = n;
        for (int s = 0; s < n; ++s) {
            int l = len[s];
            if (l == 0)
                continue;
            uint32_t c = next[l]++;
            if (l <= kTableBits) {
                const uint32_t first = c << (kTableBits - l);
                const uint32_t end = first + (1u << (kTableBits - l));
                const uint32_t entry = static_cast<uint32_t>(s) | static_cast<uint32_t>(l) << 16;
                for (uint32_t i = first; i < end; ++i) {
                    table[i] = static_cast<uint16_t>(s);
                    packed[i] = entry;
                }
                continue;
            }
            const uint32_t root = c >> (l - kTableBits);
            uint16_t* p = &table[root];
            for (int k = l - kTableBits - 1; k >= 0; --k) {
                if (*p == kUnset) {
                    if (avail >= 2 * kMaxSymbols)
                        return false;
                    left[avail] = right[avail] = kUnset;
                    *p = static_cast<uint16_t>(avail++);
                } else if (*p < n) {
                    return false;
                }
                p = ((c >> k) & 1) ? &right[*p] : &left[*p];
            }
            if (*p != kUnset)
                return false;
            *p = static_cast<uint16_t>(s);
            packed[root] = kNode | table[root];
        }
        // A complete code has filled every entry of both tables.
        return true;
    }

    // Decodes one symbol from the top of a left-aligned 64-bit bit buffer
    // and gives its length in bits.
    unsigned Decode(uint64_t bits, unsigned& bitLength) const {
        uint32_t e = packed[bits >> (64 - kTableBits)];
        if (!(e & kNode)) [[likely]] {
            bitLength = e >> 16;
            return e & 0xFFFF;
        }
        unsigned s = e & 0xFFFF;
        uint64_t b = bits << kTableBits;
        do {
            s = (b >> 63) ? right[s] : left[s];
            b <<= 1;
        } while (s >= static_cast<unsigned>(symbols));
        bitLength = len[s];
        return s;
    }
};

}  // namespace vcq
