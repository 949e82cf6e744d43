#include "cli/retry_log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "platform/files.h"
#include "protocol/cgi_client.h"
#include "upgrade/event_json.h"

namespace vcq::cli {
namespace {

using nlohmann::json;

const json* Field(const json& event, const char* key, json::value_t kind) {
    const auto it = event.find(key);
    if (it == event.end())
        return nullptr;
    // Any JSON number is a number, however a writer spelled it.
    const bool number = kind == json::value_t::number_float && it->is_number();
    return number || it->type() == kind ? &*it : nullptr;
}

const std::string* Text(const json& event, const char* key) {
    const json* field = Field(event, key, json::value_t::string);
    return field ? field->get_ptr<const std::string*>() : nullptr;
}

std::optional<double> Number(const json& event, const char* key) {
    const json* field = Field(event, key, json::value_t::number_float);
    return field ? std::optional<double>(field->get<double>()) : std::nullopt;
}

// A whole number from `low` to `high`, checked before any conversion to an
// integer (a float far out of range does not convert).
bool Whole(std::optional<double> n, double low, double high) {
    return n && *n >= low && *n <= high && *n == std::floor(*n);
}

std::optional<BatchOutcome> OutcomeNamed(const std::string& name) {
    for (size_t i = 0; i < kBatchOutcomeCount; ++i)
        if (name == OutcomeName(static_cast<BatchOutcome>(i)))
            return static_cast<BatchOutcome>(i);
    return std::nullopt;
}

// A string or null; false for anything else, or a string `read` refuses.
template <typename Read>
bool TextOrNull(const json& event, const char* key, Read read) {
    const auto it = event.find(key);
    if (it == event.end() || it->is_null())
        return true;
    return it->is_string() && read(it->template get_ref<const std::string&>());
}

// One end event; false when a field it needs is missing or wrong. Fields it
// does not know are left alone.
bool ReadEnd(const json& event, LoggedCamera& logged) {
    const std::optional<double> id = Number(event, "id");
    const std::string* address = Text(event, "address");
    const std::optional<double> port = Number(event, "port");
    const std::optional<double> step = Number(event, "step");
    const std::string* outcome = Text(event, "outcome");
    const json* versionUp = Field(event, "versionup", json::value_t::boolean);
    const auto kept = event.find("kept");
    net::Endpoint endpoint;
    if (!id || !address || !port || !step || !outcome || !versionUp || kept == event.end() ||
        (!kept->is_string() && !kept->is_null()) || !CgiClient::ParseHostText(*address, endpoint) ||
        !Whole(port, 1, 65535) || !Whole(step, 0, 1000))
        return false;
    const std::optional<BatchOutcome> named = OutcomeNamed(*outcome);
    if (!named)
        return false;
    // Older batches wrote no time of the flash: never, as far as they tell.
    std::time_t versionUpAt = 0;
    if (!TextOrNull(event, "versionup_at", [&](const std::string& text) {
            const std::optional<std::time_t> when = ParseIsoTime(text);
            versionUpAt = when.value_or(0);
            return when.has_value();
        }))
        return false;
    logged.id = *id;
    BatchCamera& camera = logged.camera;
    camera.ip = {
        static_cast<uint8_t>(endpoint.address >> 24), static_cast<uint8_t>(endpoint.address >> 16),
        static_cast<uint8_t>(endpoint.address >> 8), static_cast<uint8_t>(endpoint.address)};
    camera.port = static_cast<int32_t>(*port);
    camera.id = *id >= 1 && *id <= kBatchMaxRows ? static_cast<int32_t>(*id) : 0;
    for (auto [key, into] : {std::pair{"model", &camera.model}, std::pair{"serial", &camera.serial},
                             std::pair{"version_before", &camera.version}})
        if (const std::string* text = Text(event, key))
            *into = *text;
    // Told to flash by this run or an earlier one; batches before "flashed"
    // said so in "versionup".
    const json* flashed = Field(event, "flashed", json::value_t::boolean);
    const std::string* code = Text(event, "reason_code");
    CameraEnd& end = logged.end;
    end.outcome = *named;
    end.finalStep = static_cast<int32_t>(*step);
    end.versionUpSent = versionUp->get<bool>();
    end.flashed = (flashed ? flashed : versionUp)->get<bool>();
    end.keptFile = kept->is_string() ? kept->get<std::string>() : std::string();
    end.versionUpAt = versionUpAt;
    end.cutOff = code && *code == ReasonCodeName(ReasonCode::Stopped);
    if (const std::string* detail = Text(event, "detail"))
        end.reason = *detail;
    return true;
}

}  // namespace

std::string EventsPathFor(const std::string& given, std::string& error) {
    if (!files::FolderExists(given)) {
        if (!files::FileExists(given)) {
            error = "there is no upgrade log, events file or batch folder " + given;
            return "";
        }
        const std::string path = given.ends_with(".jsonl") ? given : EventsPathBeside(given);
        if (!files::FileExists(path))
            error = given + " has no batch events beside it (" + path +
                    "): give the path a batch printed on `Log file:`, or its folder";
        return files::FileExists(path) ? path : "";
    }
    // A folder's runs: upgrade-log.jsonl, then -2, -3...: the latest counts.
    std::vector<files::FolderEntry> entries;
    int latest = 0;
    std::string name;
    if (files::ListFolder(given, entries)) {
        for (const files::FolderEntry& entry : entries) {
            int number = 0;
            if (entry.isFolder || !entry.name.starts_with("upgrade-log") ||
                !entry.name.ends_with(".jsonl"))
                continue;
            const std::string middle = entry.name.substr(11, entry.name.size() - 17);
            if (middle.empty())
                number = 1;
            else if (middle.size() <= 4 && middle[0] == '-' &&
                     std::all_of(middle.begin() + 1, middle.end(),
                                 [](char c) { return c >= '0' && c <= '9'; }))
                number = std::atoi(middle.c_str() + 1);
            if (number > latest) {
                latest = number;
                name = entry.name;
            }
        }
    }
    if (name.empty()) {
        error = given + " holds no batch events (upgrade-log.jsonl)";
        return "";
    }
    const bool separated = given.ends_with("/") || given.ends_with("\\");
    return given + (separated ? "" : "/") + name;
}

bool ReadBatchEvents(const std::string& text, std::vector<LoggedCamera>& cameras,
                     std::string& error) {
    cameras.clear();
    std::set<std::pair<std::array<uint8_t, 4>, int32_t>> seen;
    std::optional<json> summary;
    size_t number = 0;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        ++number;
        const auto line = "line " + std::to_string(number);
        std::string_view body = std::string_view(text).substr(at, end - at);
        // A file copied through a Windows editor may end its lines in CR LF.
        if (body.ends_with('\r'))
            body.remove_suffix(1);
        const std::optional<json> event = ParseEventLine(body);
        const std::string* kind = event ? Text(*event, "event") : nullptr;
        if (!kind || summary) {
            error = line + (summary ? " follows the summary" : " is not one of our events");
            return false;
        }
        if (*kind == "summary") {
            summary = event;
        } else if (*kind == "end") {
            LoggedCamera logged;
            if (!ReadEnd(*event, logged)) {
                error = line + " is not a whole camera's end";
                return false;
            }
            if (!seen.insert({logged.camera.ip, logged.camera.port}).second) {
                error = line + " ends a camera a second time";
                return false;
            }
            cameras.push_back(std::move(logged));
        } else if (*kind != "status") {
            error = line + " is not one of our events";
            return false;
        }
    }
    if (!summary) {
        error = "no summary: the batch did not end, or these are not a batch's events";
        return false;
    }
    size_t counted = 0;
    for (size_t i = 0; i < kBatchOutcomeCount; ++i) {
        const std::optional<double> n = Number(*summary, OutcomeName(static_cast<BatchOutcome>(i)));
        if (!Whole(n, 0, kBatchMaxRows)) {
            error = "the summary does not count its cameras";
            return false;
        }
        counted += static_cast<size_t>(*n);
    }
    if (counted != cameras.size()) {
        error = "the summary counts " + std::to_string(counted) + " cameras, the events end " +
                std::to_string(cameras.size());
        return false;
    }
    // The batch's own order, not the order the cameras ended in.
    std::stable_sort(cameras.begin(), cameras.end(),
                     [](const LoggedCamera& a, const LoggedCamera& b) { return a.id < b.id; });
    return true;
}

}  // namespace vcq::cli
