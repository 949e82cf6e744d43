#include "package/lha_header.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace vcq {
namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

constexpr size_t kFixedBody = 22;  // offsets 2..23 of the header

bool IsSeparator(char c) {
    return c == '\xFF' || c == '\\' || c == '/';
}

// Appends the components of `name`; false when one of them is unsafe.
bool Split(const std::string& name, std::vector<std::string>& out) {
    std::string part;
    auto flush = [&]() {
        if (part.empty())
            return true;
        if (part == "." || part == ".." || part.find(':') != std::string::npos)
            return false;
        out.push_back(part);
        part.clear();
        return true;
    };
    for (char c : name) {
        if (c == '\0')
            return false;
        if (IsSeparator(c)) {
            if (!flush())
                return false;
        } else {
            part += c;
        }
    }
    return flush();
}

}  // namespace

void ParseLhaHeader(const uint8_t* body, size_t size, LhaHeader& h) {
    h = LhaHeader{};
    if (size < kFixedBody) {
        h.malformed = true;
        return;
    }
    std::memcpy(h.method, body, 5);
    h.compressedSize = Le32(body + 5);
    h.originalSize = Le32(body + 9);
    h.crc = Le16(body + 19);
    if (size > kLhaHeaderBuffer) {
        h.tooLarge = true;
        return;
    }
    size_t pos = kFixedBody;
    for (;;) {
        if (pos + 2 > size) {
            h.malformed = true;  // the list must end with a size of 0
            return;
        }
        size_t extSize = Le16(body + pos);
        if (extSize == 0)
            return;
        if (extSize < 3 || pos + extSize > size) {
            h.malformed = true;
            return;
        }
        uint8_t type = body[pos + 2];
        const char* data = reinterpret_cast<const char*>(body + pos + 3);
        size_t dataSize = extSize - 3;
        if (type == 1 || type == 2) {
            if (dataSize > kLhaMaxName) {
                h.nameTooLong = true;
            } else {
                (type == 1 ? h.fileName : h.dirName).assign(data, dataSize);
            }
        }
        pos += extSize;
    }
}

bool IsStoredMethod(const LhaHeader& h) {
    return std::memcmp(h.method, "-lh0-", 5) == 0;
}
bool IsLh5Method(const LhaHeader& h) {
    return std::memcmp(h.method, "-lh5-", 5) == 0;
}

bool IsFolderEntry(const LhaHeader& h) {
    return std::memcmp(h.method, "-lhd-", 5) == 0;
}

namespace {

// Folder then file name; false when a part is unsafe. `folders` receives
// the number of components that came from the folder name.
bool SafeComponents(const LhaHeader& h, std::vector<std::string>& components, size_t& folders) {
    components.clear();
    if (!h.dirName.empty() && IsSeparator(h.dirName[0]))
        return false;
    if (!h.fileName.empty() && IsSeparator(h.fileName[0]) && h.dirName.empty())
        return false;
    if (!Split(h.dirName, components))
        return false;
    folders = components.size();
    return Split(h.fileName, components);
}

}  // namespace

bool SafeMemberPath(const LhaHeader& h, std::vector<std::string>& components) {
    size_t folders = 0;
    return SafeComponents(h, components, folders) &&
           components.size() > folders;  // there must be a file name
}

bool SafeFolderPath(const LhaHeader& h, std::vector<std::string>& components) {
    size_t folders = 0;
    return SafeComponents(h, components, folders) && !components.empty();
}

namespace {

// Windows opens these as devices, whatever extension follows. The 8-bit
// superscript digits (Windows-1252 and Latin-1) count as digits there.
bool IsDeviceName(std::string base) {
    while (!base.empty() && base.back() == ' ')
        base.pop_back();  // "nul .txt" is the device too
    std::transform(base.begin(), base.end(), base.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",    "AUX",
                                                                 "NUL", "CONIN$", "CONOUT$"};
    if (std::find(kDevices.begin(), kDevices.end(), base) != kDevices.end())
        return true;
    if (base.size() != 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0))
        return false;
    const char n = base[3];
    return (n >= '0' && n <= '9') || n == '\xB9' || n == '\xB2' || n == '\xB3';
}

}  // namespace

bool WindowsCanHold(const std::string& component) {
    if (component.empty() || component.back() == '.' || component.back() == ' ')
        return false;
    for (char c : component) {
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("*?<>|\":", c) != nullptr)
            return false;
    }
    return !IsDeviceName(component.substr(0, component.find('.')));
}

}  // namespace vcq
