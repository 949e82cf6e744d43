#include "package/crc16.h"

#include <array>

namespace vcq {
namespace {

constexpr std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
        t[i] = static_cast<uint16_t>(c);
    }
    return t;
}

constexpr auto kTable = MakeTable();

}  // namespace

uint16_t UpdateCrc16(uint16_t crc, const uint8_t* data, size_t size) {
    unsigned c = crc;
    for (size_t i = 0; i < size; ++i)
        c = kTable[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return static_cast<uint16_t>(c);
}

}  // namespace vcq
