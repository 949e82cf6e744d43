#include "firmware_image.h"

#include <algorithm>

namespace vcq::sim {
namespace {

constexpr std::string_view kMagic = "VCQFWIMG";
constexpr size_t kVersionBytes = 8;

uint32_t ReadLe(std::string_view bytes, size_t offset, size_t width) {
    uint32_t value = 0;
    for (size_t i = width; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

void WriteLe(std::string& bytes, size_t offset, uint32_t value, size_t width) {
    for (size_t i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

uint16_t ImageCrc16(std::string_view bytes) {
    uint16_t crc = 0;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : (crc >> 1);
    }
    return crc;
}

std::optional<std::string> FlashableVersion(std::string_view image) {
    if (image.size() < kImageHeaderSize || image.substr(0, kMagic.size()) != kMagic ||
        ReadLe(image, 8, 2) != kImageHeaderSize || ReadLe(image, 10, 2) != 1)
        return std::nullopt;
    std::string_view body = image.substr(kImageHeaderSize);
    if (ReadLe(image, 20, 4) != body.size() || ReadLe(image, 24, 2) != ImageCrc16(body))
        return std::nullopt;
    std::string_view field = image.substr(12, kVersionBytes);
    std::string version(field.substr(0, field.find('\0')));
    // Padding is NULs only, and the text itself printable.
    if (version.empty() || field.find_first_not_of('\0', version.size()) != std::string::npos)
        return std::nullopt;
    for (char c : version)
        if (c < 0x21 || c > 0x7E)
            return std::nullopt;
    return version;
}

std::string MakeFirmwareImage(std::string_view version, std::string_view body) {
    std::string image(kImageHeaderSize, '\0');
    image.replace(0, kMagic.size(), kMagic);
    WriteLe(image, 8, kImageHeaderSize, 2);
    WriteLe(image, 10, 1, 2);
    image.replace(12, std::min(version.size(), kVersionBytes), version.substr(0, kVersionBytes));
    WriteLe(image, 20, static_cast<uint32_t>(body.size()), 4);
    WriteLe(image, 24, ImageCrc16(body), 2);
    return image.append(body);
}

}  // namespace vcq::sim
