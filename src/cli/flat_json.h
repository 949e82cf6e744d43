// Reads one flat JSON object ({"key":value,...}; strings, numbers, true,
// false, null), strictly enough that a line a script's JSON reader would
// refuse is refused here too: the batch's own events read back.
#pragma once

#include <cctype>
#include <cstdlib>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <string_view>

namespace vcq::cli {

struct JsonValue {
    enum class Kind { String, Number, Bool, Null } kind = Kind::Null;
    std::string text;  // the decoded string, or true/false/the number as written
    double number = 0;
};

using JsonObject = std::map<std::string, JsonValue>;

// Decodes a JSON string literal at `at`; the tool escapes only ASCII controls.
inline bool ReadJsonString(std::string_view s, size_t& at, std::string& out) {
    if (at >= s.size() || s[at++] != '"')
        return false;
    while (at < s.size()) {
        const char c = s[at++];
        if (c == '"')
            return true;
        if (static_cast<unsigned char>(c) < 0x20 || (c == '\\' && at >= s.size()))
            return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        const char e = s[at++];
        if (const size_t k = std::string_view("\"\\/bfnrt").find(e); k != std::string_view::npos)
            out += "\"\\/\b\f\n\r\t"[k];
        else if (e == 'u' && s.substr(at, 2) == "00" && at + 4 <= s.size() &&
                 std::isxdigit(static_cast<unsigned char>(s[at + 2])) &&
                 std::isxdigit(static_cast<unsigned char>(s[at + 3])) && s[at + 2] < '8')
            out += static_cast<char>(std::stoi(std::string(s.substr(at, 4)), nullptr, 16)), at += 4;
        else
            return false;
    }
    return false;
}

inline std::optional<JsonObject> ParseFlatJson(std::string_view s) {
    static const std::regex scalar(R"(^(true|false|null|-?(0|[1-9]\d*)(\.\d+)?([eE][+-]?\d+)?))");
    JsonObject object;
    size_t at = 1;
    if (s.empty() || s[0] != '{')
        return std::nullopt;
    for (bool first = true; at < s.size() && s[at] != '}'; first = false) {
        std::string key;
        JsonValue value;
        if ((!first && s[at++] != ',') || !ReadJsonString(s, at, key) || at >= s.size() ||
            s[at++] != ':' || object.count(key))
            return std::nullopt;
        std::match_results<std::string_view::const_iterator> m;
        if (at < s.size() && s[at] == '"') {
            value.kind = JsonValue::Kind::String;
            if (!ReadJsonString(s, at, value.text))
                return std::nullopt;
        } else if (std::regex_search(s.begin() + at, s.end(), m, scalar)) {
            value.text = m.str();
            at += value.text.size();
            if (value.text == "null") {
                value.text.clear();
            } else {
                value.kind = std::isalpha(static_cast<unsigned char>(value.text[0]))
                                 ? JsonValue::Kind::Bool
                                 : JsonValue::Kind::Number;
                value.number = std::strtod(value.text.c_str(), nullptr);
            }
        } else {
            return std::nullopt;
        }
        object[key] = value;
    }
    if (at + 1 != s.size())
        return std::nullopt;  // no closing brace, or something after it
    return object;
}

}  // namespace vcq::cli
