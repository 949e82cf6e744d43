#include "cli/retry_log.h"

#include <algorithm>
#include <set>

#include "cli/flat_json.h"
#include "protocol/cgi_client.h"
#include "upgrade/camera_upgrade.h"

namespace vcq::cli {
namespace {

const JsonValue* Field(const JsonObject& event, const char* key, JsonValue::Kind kind) {
    const auto it = event.find(key);
    return it != event.end() && it->second.kind == kind ? &it->second : nullptr;
}

std::optional<BatchOutcome> OutcomeNamed(const std::string& name) {
    for (size_t i = 0; i < kBatchOutcomeCount; ++i)
        if (name == OutcomeName(static_cast<BatchOutcome>(i)))
            return static_cast<BatchOutcome>(i);
    return std::nullopt;
}

// One end event; false when a field it needs is missing or wrong.
bool ReadEnd(const JsonObject& event, LoggedCamera& logged) {
    using Kind = JsonValue::Kind;
    const JsonValue* id = Field(event, "id", Kind::Number);
    const JsonValue* address = Field(event, "address", Kind::String);
    const JsonValue* port = Field(event, "port", Kind::Number);
    const JsonValue* step = Field(event, "step", Kind::Number);
    const JsonValue* outcome = Field(event, "outcome", Kind::String);
    const JsonValue* versionUp = Field(event, "versionup", Kind::Bool);
    const auto kept = event.find("kept");
    net::Endpoint endpoint;
    if (!id || !address || !port || !step || !outcome || !versionUp || kept == event.end() ||
        (kept->second.kind != Kind::String && kept->second.kind != Kind::Null) ||
        !CgiClient::ParseHostText(address->text, endpoint) || port->number < 1 ||
        port->number > 65535 || port->number != static_cast<int32_t>(port->number))
        return false;
    const std::optional<BatchOutcome> named = OutcomeNamed(outcome->text);
    if (!named)
        return false;
    logged.id = id->number;
    BatchCamera& camera = logged.camera;
    camera.ip = {
        static_cast<uint8_t>(endpoint.address >> 24), static_cast<uint8_t>(endpoint.address >> 16),
        static_cast<uint8_t>(endpoint.address >> 8), static_cast<uint8_t>(endpoint.address)};
    camera.port = static_cast<int32_t>(port->number);
    for (auto [key, into] : {std::pair{"model", &camera.model}, std::pair{"serial", &camera.serial},
                             std::pair{"version_before", &camera.version}})
        if (const JsonValue* text = Field(event, key, Kind::String))
            *into = text->text;
    logged.end = {*named, static_cast<int32_t>(step->number), versionUp->text == "true",
                  kept->second.text};
    return true;
}

}  // namespace

std::string EventsPathBeside(const std::string& logPath) {
    const std::string stem =
        logPath.ends_with(".txt") ? logPath.substr(0, logPath.size() - 4) : logPath;
    return stem + ".jsonl";
}

bool ReadBatchEvents(const std::string& text, std::vector<LoggedCamera>& cameras,
                     std::string& error) {
    cameras.clear();
    std::set<std::pair<std::array<uint8_t, 4>, int32_t>> seen;
    std::optional<JsonObject> summary;
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
        const std::optional<JsonObject> event = ParseFlatJson(body);
        const JsonValue* kind = event ? Field(*event, "event", JsonValue::Kind::String) : nullptr;
        if (!kind || summary) {
            error = line + (summary ? " follows the summary" : " is not one of our events");
            return false;
        }
        if (kind->text == "summary") {
            summary = event;
        } else if (kind->text == "end") {
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
        } else if (kind->text != "status") {
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
        const JsonValue* n =
            Field(*summary, OutcomeName(static_cast<BatchOutcome>(i)), JsonValue::Kind::Number);
        if (!n || n->number < 0) {
            error = "the summary does not count its cameras";
            return false;
        }
        counted += static_cast<size_t>(n->number);
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
