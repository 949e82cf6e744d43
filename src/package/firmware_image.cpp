#include "package/firmware_image.h"

#include <cstring>

#include "package/crc16.h"

namespace vcq {

std::optional<FirmwareImageHeader> ReadFirmwareImageHeader(std::span<const uint8_t> bytes) {
    if (bytes.size() < kFirmwareHeaderSize || std::memcmp(bytes.data(), "VCQFWIMG", 8) != 0)
        return std::nullopt;
    const uint8_t* p = bytes.data();
    if ((p[8] | (p[9] << 8)) != kFirmwareHeaderSize || (p[10] | (p[11] << 8)) != 1)
        return std::nullopt;
    FirmwareImageHeader h;
    for (int i = 12; i < 20 && p[i] != 0; ++i) {
        if (p[i] < 0x21 || p[i] > 0x7E)
            return std::nullopt;
        h.version += static_cast<char>(p[i]);
    }
    if (h.version.empty())
        return std::nullopt;
    h.bodySize = p[20] | (p[21] << 8) | (p[22] << 16) | (static_cast<uint32_t>(p[23]) << 24);
    h.bodyCrc = static_cast<uint16_t>(p[24] | (p[25] << 8));
    size_t available = bytes.size() - kFirmwareHeaderSize;
    h.bodyIntact =
        h.bodySize <= available && Crc16(p + kFirmwareHeaderSize, h.bodySize) == h.bodyCrc;
    return h;
}

std::optional<std::string> ReadFirmwareImageVersion(std::span<const uint8_t> bytes) {
    auto h = ReadFirmwareImageHeader(bytes);
    if (!h || !h->bodyIntact)
        return std::nullopt;
    return h->version;
}

}  // namespace vcq
