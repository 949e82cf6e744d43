// Reading camera replies to the discovery enquiry. Pure functions: any bytes
// of any length are safe input.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/camera_record.h"

namespace vcq {

// The value after the first occurrence of `key`, up to the next 0xFF byte
// (or the end of the text when no 0xFF follows), cut to capacity - 1
// characters. Empty when the key is absent. The text is read as a C string:
// it ends at its first NUL byte.
std::string ReadReplyValue(std::string_view text, std::string_view key, size_t capacity);

// Four decimal numbers separated by dots, each kept as its low 8 bits; the
// numbers from the first missing one on stay 0.
std::array<uint8_t, 4> ParseReplyAddress(std::string_view value);

// A decimal number with optional leading blanks and sign (as C's atoi reads
// it, but clamped to int32 instead of overflowing); 80 when empty.
int32_t ParseReplyWebPort(std::string_view value);

// The record a reply describes, or nothing when it has no "MODEL:" or its
// model is not one of `models` (compared case-sensitively after the cut to
// 31 characters).
std::optional<CameraRecord> ParseReply(std::string_view datagram,
                                       const std::vector<std::string>& models);

}  // namespace vcq
