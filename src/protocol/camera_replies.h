// What the cameras' CGI replies say, read as they write them, and the one
// inquiry exchange the lists and the headless tool make without a job.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "protocol/cgi_client.h"

namespace vcq {

// The path of every "inq=..." request.
inline constexpr const char* kInquiryPath = "/command/inquiry.cgi";

// What an "inq=sysinfo" reply says about a camera; a field the reply lacks
// stays empty.
struct CameraIdentity {
    std::string model;    // "ModelName="; empty: not a camera of ours to read
    std::string version;  // "ver" + "SoftVersion=", "unknown" for an emergency firmware
    std::string serial;   // "Serial="
    bool dhcp = false;    // "Dhcp=on"
};
CameraIdentity ReadIdentity(std::string_view reply);
// The "MacAddress=" of an "inq=tcpip" reply with "-" for ":"; empty when none.
std::string ReadMacAddress(std::string_view reply);
// One inquiry ("inq=sysinfo", ...) to the camera at `hostText`: the whole
// reply, empty when none came.
std::string InquireCamera(std::string_view hostText, std::string_view authToken,
                          std::string_view body, const ExchangeLimits& limits = {});

// Reply reading: plain, case-sensitive substring search over the whole reply.
// The value of a key runs from after its "=" to the next "&"; empty when no
// "&" follows. Nullopt when the key is absent.
std::optional<std::string_view> KeyValue(std::string_view reply, std::string_view key);
// The same, but a value without a following "&" runs to the end of the reply.
std::optional<std::string_view> KeyValueToEnd(std::string_view reply, std::string_view key);

// The FTP account in an "inq=ftpuser" reply: the first "key=user,password"
// entry that has a user, after at most ten empty ones.
bool ReadFtpAccount(std::string_view reply, std::string& user, std::string& password);

}  // namespace vcq
