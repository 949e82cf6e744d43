// The CRC-16 of LHA archives: reflected polynomial 0xA001, initial value 0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vcq {

uint16_t UpdateCrc16(uint16_t crc, const uint8_t* data, size_t size);

inline uint16_t Crc16(const uint8_t* data, size_t size) {
    return UpdateCrc16(0, data, size);
}

}  // namespace vcq
