// One member header of an LHA archive, read as level 2: the fixed fields,
// then extended headers up to the end of the header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vcq {

inline constexpr size_t kLhaHeaderBuffer = 4096;  // largest header accepted
inline constexpr size_t kLhaMaxName = 255;        // longest file or folder name

struct LhaHeader {
    char method[5] = {};
    uint32_t compressedSize = 0;
    uint32_t originalSize = 0;
    uint16_t crc = 0;
    std::string fileName;      // raw bytes
    std::string dirName;       // raw bytes, separators as stored (0xFF)
    bool tooLarge = false;     // header bigger than kLhaHeaderBuffer
    bool nameTooLong = false;  // a name longer than kLhaMaxName
    bool malformed = false;    // too short for its fixed fields, or a broken extended header
};

// Fills h from the header bytes after the 2-byte size field. `size` is what
// that field announced minus 2; `body` holds min(size, kLhaHeaderBuffer)
// bytes.
void ParseLhaHeader(const uint8_t* body, size_t size, LhaHeader& h);

bool IsStoredMethod(const LhaHeader& h);  // -lh0-
bool IsLh5Method(const LhaHeader& h);     // -lh5-
bool IsFolderEntry(const LhaHeader& h);   // -lhd-

// Turns the member's names into the relative path components to write,
// refusing anything that could land outside the output folder: an absolute
// folder, ".", "..", a drive letter or other ':' names, NUL bytes. 0xFF,
// '\' and '/' all separate folders. The file name is the last component.
bool SafeMemberPath(const LhaHeader& h, std::vector<std::string>& components);
// The same for a folder entry: every component is a folder, at least one.
bool SafeFolderPath(const LhaHeader& h, std::vector<std::string>& components);

// False for a path component that Windows cannot hold as it is: device
// names ("NUL", "con.txt", "COM1"...), the characters * ? < > | " : and
// control characters, a trailing dot or space. Such a member would land as
// nothing, as a device or under another name there, so it is refused on
// every system alike.
bool WindowsCanHold(const std::string& component);

}  // namespace vcq
