#include "platform/ftp_common.h"

#include <cctype>

namespace vcq::ftp {

std::string LastReplyLine(std::string_view reply) {
    while (!reply.empty() && (reply.back() == '\0' || reply.back() == '\n' || reply.back() == '\r'))
        reply.remove_suffix(1);
    const size_t last = reply.find_last_of('\n');
    return std::string(last == std::string_view::npos ? reply : reply.substr(last + 1));
}

bool IsRefusal(std::string_view line) {
    return line.size() >= 3 && (line[0] == '4' || line[0] == '5') &&
           std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2]));
}

std::string DroppedText(std::string_view cause) {
    return "the camera dropped the connection (" + std::string(cause) + ")";
}

}  // namespace vcq::ftp
