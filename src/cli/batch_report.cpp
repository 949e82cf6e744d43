#include "cli/batch_report.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/system.h"
#include "protocol/cgi_client.h"
#include "upgrade/camera_upgrade.h"
#include "upgrade/retry_plan.h"

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
           ",\"serial\":" + JsonString(row.serial.empty() ? camera.serial : row.serial) +
           ",\"step\":" + std::to_string(row.step) + ",\"status\":" + JsonString(row.statusText);
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

// "2026-12-09T16:05:03+01:00": the local time with its offset from UTC,
// which the local calendar fields themselves tell (no OS needs to name it).
std::string IsoLocalTime(std::time_t when) {
    std::tm local{};
    if (!sys::LocalTime(when, local))
        return "";
    const long long asUtc =
        DaysFromCivil(local.tm_year + 1900LL, unsigned(local.tm_mon + 1), unsigned(local.tm_mday)) *
            86400 +
        local.tm_hour * 3600LL + local.tm_min * 60LL + local.tm_sec;
    const int offsetMinutes = static_cast<int>((asUtc - static_cast<long long>(when)) / 60);
    const int east = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offsetMinutes < 0 ? '-' : '+', east / 60, east % 60);
    return text;
}

// A moment of the engine's steady clock as the local calendar time; null
// for a moment that never came.
std::string JsonMoment(std::chrono::steady_clock::time_point moment) {
    if (moment == std::chrono::steady_clock::time_point{})
        return "null";
    const auto ago = std::chrono::steady_clock::now() - moment;
    const auto when = std::chrono::system_clock::now() -
                      std::chrono::duration_cast<std::chrono::system_clock::duration>(ago);
    const std::string text = IsoLocalTime(std::chrono::system_clock::to_time_t(when));
    return text.empty() ? "null" : JsonString(text);
}

std::string JsonOrNull(const std::string& text) {
    return text.empty() ? "null" : JsonString(text);
}

std::string WithoutVer(const std::string& version) {
    return std::string(PlainVersion(version));
}

BatchOutcome OutcomeOfSetAside(const SetAside& camera) {
    return camera.verdict == PreBatch::UpToDate ? BatchOutcome::UpToDate : BatchOutcome::Refused;
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

std::vector<SetAside> SetAsideBeforeBatch(std::vector<BatchCamera>& cameras,
                                          std::string_view packageVersion, bool reflash) {
    std::vector<SetAside> setAside;
    std::erase_if(cameras, [&](const BatchCamera& camera) {
        const PreBatch verdict = DecidePreBatch(camera.version, packageVersion);
        if (verdict == PreBatch::NotUpgradable || (verdict == PreBatch::UpToDate && !reflash) ||
            (verdict == PreBatch::Newer && !camera.downgradeAgreed)) {
            setAside.push_back(
                {camera, verdict, PreBatchReason(verdict, camera.version, packageVersion)});
            return true;
        }
        return false;
    });
    return setAside;
}

std::string SetAsideLine(const SetAside& camera) {
    return CameraHostText(camera.camera.ip, camera.camera.port) + " " +
           PreBatchNotice(camera.verdict) + ": " + camera.reason;
}

std::string SetAsideLogLine(const SetAside& camera) {
    return camera.camera.model + (camera.camera.dhcp ? "(DHCP:" : "(") +
           CameraHostText(camera.camera.ip, camera.camera.port) + ") " + camera.reason + "\r\n";
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
    const BatchOutcome outcome = OutcomeOf(row);
    if (outcome == BatchOutcome::UpToDate)
        reason = row.failureDetail;  // its check found it so: nothing failed
    // The row's version is the one the camera came back with.
    const bool upgraded =
        outcome == BatchOutcome::Completed || outcome == BatchOutcome::ConfigNotRestored;
    return "{" + CameraFields("end", row, camera) +
           ",\"outcome\":" + JsonString(OutcomeName(outcome)) +
           ",\"reason\":" + JsonString(reason) + ",\"detail\":" + JsonString(row.failureDetail) +
           ",\"kept\":" + JsonOrNull(row.keptFile) +
           ",\"versionup\":" + (row.versionUpSent ? "true" : "false") + ",\"elapsed\":" + seconds +
           ",\"version_before\":" + JsonOrNull(WithoutVer(camera.version)) +
           ",\"version_after\":" + JsonOrNull(upgraded ? WithoutVer(row.version) : "") +
           ",\"started\":" + JsonMoment(row.begun) + ",\"ended\":" + JsonMoment(row.ended) + "}";
}

std::string SetAsideEndEvent(size_t id, const SetAside& camera) {
    BatchRow row;
    row.index = static_cast<int32_t>(id - 1);
    row.model = camera.camera.model;
    row.statusText = PreBatchNotice(camera.verdict);
    const std::string version = WithoutVer(camera.camera.version);
    return "{" + CameraFields("end", row, camera.camera) +
           ",\"outcome\":" + JsonString(OutcomeName(OutcomeOfSetAside(camera))) +
           ",\"reason\":" + JsonString(camera.reason) +
           ",\"detail\":\"\",\"kept\":null,\"versionup\":false,\"elapsed\":0.0,\"version_"
           "before\":" +
           JsonOrNull(version) + ",\"version_after\":" + JsonOrNull(version) +
           ",\"started\":null,\"ended\":null}";
}

OutcomeCounts CountOutcomes(const BatchEngine& engine, const std::vector<SetAside>& setAside) {
    OutcomeCounts counts = CountOutcomes(engine);
    for (const SetAside& camera : setAside)
        counts.Add(OutcomeOfSetAside(camera));
    return counts;
}

std::string SummaryEvent(const OutcomeCounts& counts, const std::string& logPath) {
    std::string event = "{\"event\":\"summary\"";
    for (size_t i = 0; i < kBatchOutcomeCount; ++i)
        event += ",\"" + std::string(OutcomeName(static_cast<BatchOutcome>(i))) +
                 "\":" + std::to_string(counts.counts[i]);
    return event + ",\"log\":" + JsonOrNull(logPath) + "}";
}

std::string BatchLogText(const BatchEngine& engine, const std::vector<SetAside>& setAside) {
    std::string text = engine.LogText();
    for (const SetAside& camera : setAside)
        text += SetAsideLogLine(camera);
    return text;
}

std::string NotCompletedList(const BatchEngine& engine) {
    std::string list;
    size_t flashed = 0;
    for (size_t i : engine.NotCompletedRows()) {
        // Told to flash, its configuration kept: `retry` checks it and sends
        // the file back; a batch would flash it again or save its reset
        // settings over the kept ones.
        if (PlanRetry(EndOf(engine.Row(i))).action != RetryAction::Upgrade) {
            ++flashed;
            continue;
        }
        const BatchCamera& camera = engine.Camera(i);
        list += Dotted(camera.ip);
        if (camera.port != 80)
            list += "," + std::to_string(camera.port);
        list += "\n";
    }
    if (flashed > 0)
        list = "# not listed: " + std::to_string(flashed) +
               " told to flash, configuration kept; vcq-upgrade-cli retry LOG checks them and "
               "puts it back\n" +
               list;
    return list;
}

}  // namespace vcq::cli
