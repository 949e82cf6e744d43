#include "cli/batch_report.h"

#include <chrono>
#include <cstdio>

#include "upgrade/camera_upgrade.h"

namespace vcq::cli {
namespace {

// Length of the well-formed UTF-8 sequence at `at`, 0 when there is none.
size_t Utf8Length(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;  // no overlong forms
        if (lead == 0xED)
            high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 0;
    return length;
}

std::string Dotted(const std::array<uint8_t, 4>& ip) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
    return text;
}

// The fields every event about a camera starts with, without the braces.
std::string CameraFields(const char* event, const BatchRow& row, const BatchCamera& camera) {
    return "\"event\":" + JsonString(event) + ",\"id\":" + std::to_string(row.index + 1) +
           ",\"address\":" + JsonString(Dotted(camera.ip)) +
           ",\"port\":" + std::to_string(camera.port) + ",\"model\":" + JsonString(row.model) +
           ",\"serial\":" + JsonString(camera.serial) + ",\"step\":" + std::to_string(row.step) +
           ",\"status\":" + JsonString(row.statusText);
}

const char* OutcomeName(BatchOutcome outcome) {
    switch (outcome) {
        case BatchOutcome::Completed:
            return "completed";
        case BatchOutcome::Failed:
            return "failed";
        case BatchOutcome::NotStarted:
            break;
    }
    return "not_started";
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t length = Utf8Length(text, i);
            if (length == 0) {
                out += "\xEF\xBF\xBD";
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    return out + "\"";
}

BatchOutcome OutcomeOf(const BatchRow& row) {
    if (row.finalStep == step::kCompleted)
        return BatchOutcome::Completed;
    return IsFinalStep(row.finalStep) ? BatchOutcome::Failed : BatchOutcome::NotStarted;
}

std::string StatusEvent(const BatchRow& row, const BatchCamera& camera) {
    return "{" + CameraFields("status", row, camera) + "}";
}

std::string EndEvent(const BatchRow& row, const BatchCamera& camera) {
    std::string reason = BatchResultText(row.finalStep);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
        reason.pop_back();
    double elapsed = 0;
    if (row.begun != std::chrono::steady_clock::time_point{} && row.ended >= row.begun)
        elapsed = std::chrono::duration<double>(row.ended - row.begun).count();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", elapsed);
    return "{" + CameraFields("end", row, camera) +
           ",\"outcome\":" + JsonString(OutcomeName(OutcomeOf(row))) +
           ",\"reason\":" + JsonString(reason) + ",\"detail\":" + JsonString(row.failureDetail) +
           ",\"kept\":" + (row.keptFile.empty() ? "null" : JsonString(row.keptFile)) +
           ",\"elapsed\":" + seconds + "}";
}

std::string SummaryEvent(const BatchEngine& engine, const std::string& logPath) {
    size_t counts[3] = {};
    for (size_t i = 0; i < engine.RowCount(); ++i)
        ++counts[static_cast<int>(OutcomeOf(engine.Row(i)))];
    return "{\"event\":\"summary\",\"completed\":" + std::to_string(counts[0]) +
           ",\"failed\":" + std::to_string(counts[1]) +
           ",\"not_started\":" + std::to_string(counts[2]) +
           ",\"log\":" + (logPath.empty() ? "null" : JsonString(logPath)) + "}";
}

std::string NotCompletedList(const BatchEngine& engine) {
    std::string list;
    for (size_t i : engine.NotCompletedRows()) {
        const BatchCamera& camera = engine.Camera(i);
        list += Dotted(camera.ip);
        if (camera.port != 80)
            list += "," + std::to_string(camera.port);
        list += "\n";
    }
    return list;
}

}  // namespace vcq::cli
