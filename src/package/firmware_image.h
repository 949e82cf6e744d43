// The firmware image inside the package (system/vcqr20.img) starts with a
// 32-byte header that tells which firmware it is:
//
//   offset size  content
//   0      8     magic "VCQFWIMG"
//   8      2     header size in bytes, 32 (little-endian, as all fields)
//   10     2     layout revision, 1
//   12     8     version text, ASCII, NUL-padded, e.g. "1.08"
//   20     4     body size: bytes after the header
//   24     2     CRC-16 of the body (the LHA CRC, see crc16.h)
//   26     6     zero
//
// The body follows the header.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vcq {

inline constexpr size_t kFirmwareHeaderSize = 32;

struct FirmwareImageHeader {
    std::string version;
    uint32_t bodySize = 0;
    uint16_t bodyCrc = 0;
    bool bodyIntact = false;  // the body is all there and its CRC matches
};

// Nothing when the bytes do not start with a valid header.
std::optional<FirmwareImageHeader> ReadFirmwareImageHeader(std::span<const uint8_t> bytes);

// The version text of an image ("1.08"), or nothing when the header is not
// valid or the body is short or damaged.
std::optional<std::string> ReadFirmwareImageVersion(std::span<const uint8_t> bytes);

}  // namespace vcq
