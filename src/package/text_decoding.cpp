#include "package/text_decoding.h"

#include <cstdint>

namespace vcq {
namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool StartsWith(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
}

}  // namespace

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    const auto unit = [&](size_t i) -> uint32_t {
        const auto first = static_cast<uint8_t>(bytes[2 * i]);
        const auto second = static_cast<uint8_t>(bytes[2 * i + 1]);
        return bigEndian ? (first << 8 | second) : (second << 8 | first);
    };
    std::string out;
    const size_t units = bytes.size() / 2;
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
            const uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u < 0xE000)
            u = 0xFFFD;
        AppendUtf8(out, u);
    }
    return out;
}

std::string TextFileToUtf8(std::string_view bytes) {
    if (StartsWith(bytes, "\xFF\xFE"))
        return Utf16ToUtf8(bytes.substr(2), false);
    if (StartsWith(bytes, "\xFE\xFF"))
        return Utf16ToUtf8(bytes.substr(2), true);
    if (StartsWith(bytes, "\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    return std::string(bytes);
}

}  // namespace vcq
