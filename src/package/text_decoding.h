// Text files as Windows tools write them: UTF-8 with or without a byte-order
// mark (Notepad, PowerShell 7) or UTF-16 with one (PowerShell 5.1's `>`,
// Notepad's "Unicode"). Password files, login files and camera lists all go
// through here, so each reads what the others read.
#pragma once

#include <string>
#include <string_view>

namespace vcq {

// UTF-16 code units (little- or big-endian) as UTF-8; a lone surrogate
// becomes U+FFFD, a stray odd byte at the end is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);

// The text of a file as UTF-8 without a byte-order mark: UTF-16 when it
// starts with the UTF-16 mark, otherwise the bytes as they are (the UTF-8
// mark removed).
std::string TextFileToUtf8(std::string_view bytes);

}  // namespace vcq
