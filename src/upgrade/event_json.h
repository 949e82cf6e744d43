// The JSON of the headless tool's events: one object a line, written and
// read through nlohmann-json. Fields keep the order they are added in, so a
// new field goes at the end of the event that carries it.
#pragma once

#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace vcq {

using EventJson = nlohmann::ordered_json;

// One line, without its line end: bytes that are not UTF-8 (a camera may send
// any) become U+FFFD, so that every line parses.
std::string EventLine(const EventJson& event);

// A JSON object from one line; none when the line is no valid JSON or not an
// object.
std::optional<nlohmann::json> ParseEventLine(std::string_view line);

// "2026-12-09T16:05:03+01:00": the local time with its offset from UTC;
// empty when the system cannot tell it.
std::string IsoLocalTime(std::time_t when);
// That form read back; none for any other text.
std::optional<std::time_t> ParseIsoTime(std::string_view text);

// `when` as IsoLocalTime, null for 0 (never).
EventJson JsonTime(std::time_t when);

}  // namespace vcq
