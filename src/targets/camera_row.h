// One camera of a camera list, and the address texts every list shows.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "discovery/camera_record.h"
#include "upgrade/pre_batch.h"

namespace vcq {

using Ipv4 = std::array<uint8_t, 4>;  // first octet first

// What each of a detected-list row's texts holds.
namespace text {
inline constexpr int kMac = 1;
inline constexpr int kAddress = 2;
inline constexpr int kModel = 3;
inline constexpr int kSerial = 4;
inline constexpr int kVersion = 5;
inline constexpr int kName = 6;
inline constexpr int kPassword = 7;
}  // namespace text

// Verification status of a row.
namespace status {
inline constexpr int32_t kNotVerified = 0;
inline constexpr int32_t kFailed = 1;
inline constexpr int32_t kVerified = 2;
// Asked until its time-out without a reply: drawn like a refusal, told apart.
inline constexpr int32_t kNoAnswer = 3;
}  // namespace status

inline constexpr const char* kDhcpText = "DHCP";

struct CameraRow {
    int32_t index = 0;  // position; renumbered after every sort
    int32_t tag = -1;   // -1 from discovery, else the adder's running number
    int32_t ticked = 1;
    PreBatch preBatch = PreBatch::Upgrade;  // from the version it was added with
    std::array<std::string, 8> texts;
    Ipv4 ip = {192, 168, 0, 100};
    int32_t port = 80;
    int32_t status = status::kNotVerified;
    int32_t wasSelected = 0;  // carry the item states across a sort
    int32_t wasFocused = 0;
};

// "a.b.c.d", with ":port" when the port is not 80: the address column's text
// and the host text of every exchange with the camera.
std::string AddressText(const Ipv4& ip, int32_t port);
// "DHCP" for a camera whose address DHCP assigned, else AddressText.
std::string DiscoveredAddressText(const CameraRecord& record);
// The camera's web page: "http://a.b.c.d/" or "http://a.b.c.d:port/".
std::string WebPageUrl(const Ipv4& ip, int32_t port);

}  // namespace vcq
