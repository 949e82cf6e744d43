#include "package/crc16.h"

#include <array>

namespace vcq {
namespace {

using Tables = std::array<std::array<uint16_t, 256>, 8>;

// kTables[0] is the classic byte table; kTables[k] advances a byte by k
// more zero bytes, so eight bytes are folded in at once.
constexpr Tables MakeTables() {
    Tables t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
        t[0][i] = static_cast<uint16_t>(c);
    }
    for (int k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}

constexpr Tables kTables = MakeTables();

}  // namespace

uint16_t UpdateCrc16(uint16_t crc, const uint8_t* data, size_t size) {
    unsigned c = crc;
    while (size >= 8) {
        unsigned x = c ^ (data[0] | (data[1] << 8));
        c = kTables[7][x & 0xFF] ^ kTables[6][x >> 8] ^ kTables[5][data[2]] ^ kTables[4][data[3]] ^
            kTables[3][data[4]] ^ kTables[2][data[5]] ^ kTables[1][data[6]] ^ kTables[0][data[7]];
        data += 8;
        size -= 8;
    }
    for (size_t i = 0; i < size; ++i)
        c = kTables[0][(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return static_cast<uint16_t>(c);
}

}  // namespace vcq
