#include "upgrade/event_json.h"

#include <cstdio>
#include <regex>

#include "platform/system.h"

namespace vcq {
namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

long long SecondsOfCivil(long long year, unsigned month, unsigned day, long long hour,
                         long long minute, long long second) {
    return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

}  // namespace

std::string EventLine(const EventJson& event) {
    return event.dump(-1, ' ', false, EventJson::error_handler_t::replace);
}

std::optional<nlohmann::json> ParseEventLine(std::string_view line) {
    nlohmann::json value = nlohmann::json::parse(line, nullptr, false);
    if (!value.is_object())
        return std::nullopt;  // a discarded value too: the line was no JSON
    return value;
}

// The offset is what the local calendar fields themselves tell: no OS needs
// to name the zone.
std::string IsoLocalTime(std::time_t when) {
    std::tm local{};
    if (!sys::LocalTime(when, local))
        return "";
    const long long asUtc =
        SecondsOfCivil(local.tm_year + 1900LL, unsigned(local.tm_mon + 1), unsigned(local.tm_mday),
                       local.tm_hour, local.tm_min, local.tm_sec);
    const int offsetMinutes = static_cast<int>((asUtc - static_cast<long long>(when)) / 60);
    const int east = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offsetMinutes < 0 ? '-' : '+', east / 60, east % 60);
    return text;
}

std::optional<std::time_t> ParseIsoTime(std::string_view text) {
    static const std::regex form(
        R"((\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)([+-])(\d\d):(\d\d))");
    std::match_results<std::string_view::const_iterator> m;
    if (!std::regex_match(text.begin(), text.end(), m, form))
        return std::nullopt;
    auto n = [&](size_t i) { return std::stoll(m.str(i)); };
    if (n(2) < 1 || n(2) > 12 || n(3) < 1 || n(3) > 31 || n(4) > 23 || n(5) > 59 || n(6) > 60)
        return std::nullopt;
    const long long offset = (n(8) * 60 + n(9)) * 60 * (m.str(7) == "-" ? -1 : 1);
    return static_cast<std::time_t>(
        SecondsOfCivil(n(1), unsigned(n(2)), unsigned(n(3)), n(4), n(5), n(6)) - offset);
}

EventJson JsonTime(std::time_t when) {
    const std::string text = when == 0 ? "" : IsoLocalTime(when);
    return text.empty() ? EventJson() : EventJson(text);
}

}  // namespace vcq
