#include "protocol/camera_replies.h"

#include <algorithm>

namespace vcq {
namespace {

constexpr int kMaxEmptyFtpEntries = 10;

// The text after `key` up to the next "&"; without one, empty or, with
// `toEnd`, the rest of the reply.
std::optional<std::string_view> ValueOf(std::string_view reply, std::string_view key, bool toEnd) {
    const size_t at = reply.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    const size_t start = at + key.size();
    const size_t end = reply.find('&', start);
    if (end == std::string_view::npos)
        return toEnd ? reply.substr(start) : std::string_view();
    return reply.substr(start, end - start);
}

}  // namespace

std::optional<std::string_view> KeyValue(std::string_view reply, std::string_view key) {
    return ValueOf(reply, key, false);
}

std::optional<std::string_view> KeyValueToEnd(std::string_view reply, std::string_view key) {
    return ValueOf(reply, key, true);
}

std::string ReadMacAddress(std::string_view reply) {
    std::string mac(KeyValueToEnd(reply, "MacAddress=").value_or(""));
    std::replace(mac.begin(), mac.end(), ':', '-');
    return mac;
}

CameraIdentity ReadIdentity(std::string_view reply) {
    CameraIdentity identity;
    identity.model = KeyValue(reply, "ModelName=").value_or("");
    if (auto value = KeyValueToEnd(reply, "SoftVersion="))
        identity.version = *value == "emergency" ? "unknown" : "ver" + std::string(*value);
    identity.serial = KeyValue(reply, "Serial=").value_or("");
    identity.dhcp = KeyValue(reply, "Dhcp=").value_or("") == "on";
    return identity;
}

std::string InquireCamera(std::string_view hostText, std::string_view authToken,
                          std::string_view body, const ExchangeLimits& limits) {
    CgiClient client(hostText, limits);
    return client.Exchange(BuildCgiRequest(kInquiryPath, hostText, authToken, body));
}

bool ReadFtpAccount(std::string_view reply, std::string& user, std::string& password) {
    int emptyEntries = 0;
    for (size_t at = reply.find('=', 1); at != std::string_view::npos;
         at = reply.find('=', at + 1)) {
        if (at + 1 < reply.size() && reply[at + 1] == ',') {
            if (++emptyEntries >= kMaxEmptyFtpEntries)
                return false;
            continue;
        }
        size_t end = reply.find('&', at + 1);
        std::string_view value =
            reply.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
        size_t comma = value.find(',');
        user = std::string(value.substr(0, comma));
        password = comma == std::string_view::npos ? "" : std::string(value.substr(comma + 1));
        return !user.empty();
    }
    return false;
}

}  // namespace vcq
