// One row of the owner-drawn camera lists (the detected list, the batch list
// and the verification list), and the address text every list shows.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vcq {

using Ipv4Bytes = std::array<uint8_t, 4>;

// Where a row starts before its values are known.
inline constexpr Ipv4Bytes kDefaultRowAddress = {192, 168, 0, 100};
inline constexpr int32_t kDefaultRowPort = 80;

struct CameraRow {
    int32_t index = 0;
    int32_t tag = -1;
    int32_t ticked = 1;
    // Detected list: 1 MAC, 2 address, 3 model, 4 serial, 5 version, 6 name,
    // 7 password. The verification list numbers its own five columns 0 to 4.
    std::array<std::string, 8> texts;
    Ipv4Bytes ip = kDefaultRowAddress;
    int32_t port = kDefaultRowPort;
    int32_t status = 0;
    int32_t wasSelected = 0;
    int32_t wasFocused = 0;
};

// "a.b.c.d", with ":port" when the port is not 80: the host text of every
// camera exchange and the address column of the lists.
std::string FormatAddressText(const Ipv4Bytes& ip, int32_t port);

}  // namespace vcq
