// Base64 as HTTP Basic authorization uses it.
#pragma once

#include <string>
#include <string_view>

namespace vcq::sim {

std::string EncodeBase64(std::string_view bytes);
// Basic token of "name:password".
std::string BasicToken(std::string_view name, std::string_view password);

}  // namespace vcq::sim
