#include "discovery/reply_parser.h"

#include <algorithm>
#include <cstring>

namespace vcq {
namespace {

constexpr char kValueEnd = '\xFF';

std::string_view AsCString(std::string_view datagram) {
    size_t nul = datagram.find('\0');
    return nul == std::string_view::npos ? datagram : datagram.substr(0, nul);
}

template <size_t N>
void CopyField(char (&field)[N], const std::string& value) {
    size_t n = std::min(value.size(), N - 1);
    std::memcpy(field, value.data(), n);
    field[n] = '\0';
}

}  // namespace

std::string ReadReplyValue(std::string_view text, std::string_view key, size_t capacity) {
    if (capacity == 0 || key.empty())
        return {};
    text = AsCString(text);
    size_t at = text.find(key);
    if (at == std::string_view::npos)
        return {};
    std::string_view rest = text.substr(at + key.size());
    size_t end = rest.find(kValueEnd);
    if (end != std::string_view::npos)
        rest = rest.substr(0, end);
    return std::string(rest.substr(0, capacity - 1));
}

std::array<uint8_t, 4> ParseReplyAddress(std::string_view value) {
    std::array<uint8_t, 4> octets{};
    size_t pos = 0;
    for (size_t part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= value.size() || value[pos] != '.')
                break;
            ++pos;
        }
        size_t start = pos;
        unsigned low = 0;  // arithmetic mod 256 keeps exactly the low 8 bits
        while (pos < value.size() && value[pos] >= '0' && value[pos] <= '9') {
            low = (low * 10 + static_cast<unsigned>(value[pos] - '0')) & 0xFFu;
            ++pos;
        }
        if (pos == start)
            break;
        octets[part] = static_cast<uint8_t>(low);
    }
    return octets;
}

int32_t ParseReplyWebPort(std::string_view value) {
    if (value.empty())
        return 80;
    size_t pos = 0;
    while (pos < value.size() && (value[pos] == ' ' || (value[pos] >= '\t' && value[pos] <= '\r')))
        ++pos;
    bool negative = false;
    if (pos < value.size() && (value[pos] == '+' || value[pos] == '-'))
        negative = value[pos++] == '-';
    int64_t number = 0;
    constexpr int64_t kLimit = int64_t{1} << 31;
    while (pos < value.size() && value[pos] >= '0' && value[pos] <= '9') {
        number = std::min(number * 10 + (value[pos] - '0'), kLimit);
        ++pos;
    }
    if (negative)
        return static_cast<int32_t>(-number);
    return static_cast<int32_t>(std::min(number, kLimit - 1));
}

std::optional<CameraRecord> ParseReply(std::string_view datagram,
                                       const std::vector<std::string>& models) {
    std::string_view text = AsCString(datagram);
    if (text.find("MODEL:") == std::string_view::npos)
        return std::nullopt;
    CameraRecord record;
    std::string model = ReadReplyValue(text, "MODEL:", sizeof record.model);
    if (std::find(models.begin(), models.end(), model) == models.end())
        return std::nullopt;

    CopyField(record.model, model);
    CopyField(record.mac, ReadReplyValue(text, "MAC:", sizeof record.mac));
    CopyField(record.serial, ReadReplyValue(text, "SERIAL:", sizeof record.serial));
    record.dhcp = ReadReplyValue(text, "DHCP:", 16) == "ON" ? 1 : 0;
    record.dnsAuto = ReadReplyValue(text, "DNSAUTO:", 16) == "ON" ? 1 : 0;
    auto octets = ParseReplyAddress(ReadReplyValue(text, "IPADR:", 16));
    std::copy(octets.begin(), octets.end(), record.ip);
    record.webPort = ParseReplyWebPort(ReadReplyValue(text, "WEBPORT:", 16));
    CopyField(record.softVersion, ReadReplyValue(text, "SOFTVERSION:", sizeof record.softVersion));
    return record;
}

}  // namespace vcq
