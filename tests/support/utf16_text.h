// Text files as Windows shells write them, for the readers' tests.
#pragma once

#include <string>
#include <string_view>

namespace vcq::test {

// `text` as UTF-16 with its byte-order mark, as PowerShell 5.1's `>` writes.
inline std::string Utf16File(std::u16string_view text, bool bigEndian = false) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

}  // namespace vcq::test
