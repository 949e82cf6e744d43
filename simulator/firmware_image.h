// The firmware image a camera flashes after "System=versionup": a 32-byte
// little-endian header ("VCQFWIMG", header size 32, layout revision 1, the
// version text NUL-padded to 8 bytes, body size, CRC-16 of the body, six
// zero bytes), then the body. The stand-in reads it on its own; it shares
// no code with our client.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vcq::sim {

inline constexpr size_t kImageHeaderSize = 32;

// CRC-16 as LHA computes it: polynomial 0xA001 (reflected), initial value 0.
uint16_t ImageCrc16(std::string_view bytes);

// The version a camera would flash from `image`; nullopt when the header or
// the body's CRC is not valid.
std::optional<std::string> FlashableVersion(std::string_view image);

// A valid image of `version` (at most 8 characters) around `body`, for tests
// and demos.
std::string MakeFirmwareImage(std::string_view version, std::string_view body);

}  // namespace vcq::sim
