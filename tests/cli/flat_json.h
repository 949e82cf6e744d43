// A strict reader of one flat JSON object ({"key":value,...} with strings,
// numbers, true, false and null), enough to hold the headless tool's event
// lines to the format a script's JSON reader expects.
#pragma once

#include <cctype>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vcq::test {

struct JsonValue {
    enum class Kind { String, Number, Bool, Null } kind = Kind::Null;
    std::string text;  // the decoded string, or the number as written
    double number = 0;
};

using JsonObject = std::map<std::string, JsonValue>;

class FlatJsonReader {
  public:
    explicit FlatJsonReader(std::string_view text) : s_(text) {}

    std::optional<JsonObject> Object() {
        JsonObject object;
        if (!Take('{'))
            return std::nullopt;
        if (!Take('}')) {
            do {
                std::string key;
                JsonValue value;
                if (!String(key) || !Take(':') || !Value(value) || object.count(key))
                    return std::nullopt;
                object[key] = value;
            } while (Take(','));
            if (!Take('}'))
                return std::nullopt;
        }
        return at_ == s_.size() ? std::optional(object) : std::nullopt;
    }

  private:
    bool Take(char c) {
        if (at_ < s_.size() && s_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (s_.substr(at_, word.size()) != word)
            return false;
        at_ += word.size();
        return true;
    }
    bool String(std::string& out) {
        if (!Take('"'))
            return false;
        while (at_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[at_++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;  // control characters must be escaped
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at_ >= s_.size())
                return false;
            const char e = s_[at_++];
            const std::string_view simple = "\"\\/bfnrt";
            const std::string_view meant = "\"\\/\b\f\n\r\t";
            if (size_t k = simple.find(e); k != std::string_view::npos) {
                out += meant[k];
            } else if (e == 'u' && at_ + 4 <= s_.size()) {
                const std::string hex(s_.substr(at_, 4));
                char* end = nullptr;
                const long code = std::strtol(hex.c_str(), &end, 16);
                if (*end != '\0' || code >= 0x80)
                    return false;  // the tool escapes only ASCII controls
                out += static_cast<char>(code);
                at_ += 4;
            } else {
                return false;
            }
        }
        return false;
    }
    bool Value(JsonValue& value) {
        if (at_ < s_.size() && s_[at_] == '"') {
            value.kind = JsonValue::Kind::String;
            return String(value.text);
        }
        if (Word("null"))
            return true;
        if (Word("true") || Word("false")) {
            value.kind = JsonValue::Kind::Bool;
            value.text = s_[at_ - 1] == 'e' && s_[at_ - 2] == 'u' ? "true" : "false";
            return true;
        }
        const size_t start = at_;
        Take('-');
        while (at_ < s_.size() &&
               (std::isdigit(static_cast<unsigned char>(s_[at_])) || s_[at_] == '.' ||
                s_[at_] == 'e' || s_[at_] == 'E' || s_[at_] == '+' || s_[at_] == '-'))
            ++at_;
        value.kind = JsonValue::Kind::Number;
        value.text = std::string(s_.substr(start, at_ - start));
        char* end = nullptr;
        value.number = std::strtod(value.text.c_str(), &end);
        return !value.text.empty() && *end == '\0';
    }

    std::string_view s_;
    size_t at_ = 0;
};

inline std::optional<JsonObject> ParseFlatJson(std::string_view line) {
    return FlatJsonReader(line).Object();
}

}  // namespace vcq::test
