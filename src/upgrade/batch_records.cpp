#include "upgrade/batch_records.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "platform/files.h"
#include "platform/system.h"
#include "protocol/cgi_client.h"
#include "upgrade/job_values.h"
#include "upgrade/phase_table.h"
#include "upgrade/retry_plan.h"

namespace vcq {
namespace {

// The fields every event about a camera starts with.
EventJson CameraFields(const char* event, const BatchRow& row, const BatchCamera& camera) {
    return {{"event", event},
            {"id", camera.id > 0 ? camera.id : row.index + 1},
            {"address", DottedAddress(camera.ip)},
            {"port", camera.port},
            {"model", row.model},
            {"serial", row.serial.empty() ? camera.serial : row.serial},
            {"step", row.step},
            {"status", row.statusText}};
}

// A moment of the engine's steady clock as calendar time; 0 for a moment
// that never came.
std::time_t WallTime(std::chrono::steady_clock::time_point moment) {
    if (moment == std::chrono::steady_clock::time_point{})
        return 0;
    const auto ago = std::chrono::steady_clock::now() - moment;
    const auto when = std::chrono::system_clock::now() -
                      std::chrono::duration_cast<std::chrono::system_clock::duration>(ago);
    return std::chrono::system_clock::to_time_t(when);
}

EventJson JsonMoment(std::chrono::steady_clock::time_point moment) {
    return JsonTime(WallTime(moment));
}

// "2026-12-10 14:02:03", or only the time when `day` is the same date.
std::string LogTime(std::time_t when, const std::tm* day = nullptr) {
    std::tm local{};
    if (!sys::LocalTime(when, local))
        return "?";
    char text[32];
    const bool sameDay = day && day->tm_year == local.tm_year && day->tm_yday == local.tm_yday;
    std::strftime(text, sizeof text, sameDay ? "%H:%M:%S" : "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// The version the camera ran before, as its own check read it; the list's
// reading when its check read none.
std::string VersionBefore(const BatchRow& row, const BatchCamera& camera) {
    return row.end.versionBefore.empty() ? std::string(PlainVersion(camera.version))
                                         : row.end.versionBefore;
}

bool Upgraded(const BatchRow& row) {
    const BatchOutcome outcome = OutcomeOf(row);
    return outcome == BatchOutcome::Completed || outcome == BatchOutcome::ConfigNotRestored;
}

// Beneath a camera's line in the log: from what to what, and when.
// "    Version 1.05 -> 1.08, 2026-12-10 14:02:03 to 14:04:10"
std::string RunLine(const BatchRow& row, const BatchCamera& camera) {
    if (row.begun == std::chrono::steady_clock::time_point{} || row.dropped)
        return "";
    std::string before = EscapeControls(VersionBefore(row, camera));
    std::string after = Upgraded(row)                   ? std::string(PlainVersion(row.version))
                        : !row.end.versionAfter.empty() ? row.end.versionAfter
                        : row.end.versionUpSent         ? std::string("not read")
                                                        : std::string("unchanged");
    const std::time_t start = WallTime(row.begun);
    std::tm day{};
    sys::LocalTime(start, day);
    return "    Version " + (before.empty() ? std::string("unknown") : before) + " -> " + after +
           ", " + LogTime(start) + " to " + LogTime(WallTime(row.ended), &day) + "\r\n";
}

EventJson JsonOrNull(const std::string& text) {
    return text.empty() ? EventJson() : EventJson(text);
}

std::string WithoutVer(const std::string& version) {
    return std::string(PlainVersion(version));
}

BatchOutcome OutcomeOfSetAside(const SetAside& camera) {
    return camera.verdict == PreBatch::UpToDate ? BatchOutcome::UpToDate : BatchOutcome::Refused;
}

// "check_ms": 120, ...: each phase's time as the job measured it.
void AddPhaseFields(const BatchRow& row, EventJson& event) {
    for (size_t i = 0; i < kPhaseCount; ++i)
        event[std::string(PhaseRowOf(static_cast<Phase>(i)).name) + "_ms"] =
            row.end.phaseTimes[i].count();
}

}  // namespace

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

std::string SetAsideLogLine(const SetAside& camera) {
    return EscapeControls(camera.camera.model) + (camera.camera.dhcp ? "(DHCP:" : "(") +
           CameraHostText(camera.camera.ip, camera.camera.port) + ") " + camera.reason + "\r\n";
}

std::string StatusEvent(const BatchRow& row, const BatchCamera& camera) {
    return EventLine(CameraFields("status", row, camera));
}

std::string EndEvent(const BatchRow& row, const BatchCamera& camera) {
    std::string reason = BatchResultText(row.end.finalStep);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
        reason.pop_back();
    double elapsed = 0;
    if (row.begun != std::chrono::steady_clock::time_point{} && row.ended >= row.begun)
        elapsed = std::chrono::duration<double>(row.ended - row.begun).count();
    const BatchOutcome outcome = OutcomeOf(row);
    if (outcome == BatchOutcome::UpToDate)
        reason = row.end.reason;  // its check found it so: nothing failed
    // The row's version is the one the camera came back with.
    const bool upgraded = Upgraded(row);
    EventJson event = CameraFields("end", row, camera);
    event["outcome"] = OutcomeName(outcome);
    event["reason"] = reason;
    event["reason_code"] = ReasonCodeName(ReasonOf(row));
    event["detail"] = row.end.reason;
    event["kept"] = JsonOrNull(row.end.keptFile);
    event["versionup"] = row.end.versionUpSent;
    event["flashed"] = row.end.flashed;  // by this run or the one it retried
    event["versionup_at"] = JsonTime(row.end.versionUpAt);
    event["elapsed"] = std::round(elapsed * 10) / 10;
    event["version_before"] = JsonOrNull(VersionBefore(row, camera));
    event["version_after"] = JsonOrNull(upgraded ? WithoutVer(row.version) : "");
    event["started"] = JsonMoment(row.begun);
    event["ended"] = JsonMoment(row.ended);
    AddPhaseFields(row, event);
    return EventLine(event);
}

std::string SetAsideEndEvent(const SetAside& camera) {
    BatchRow row;
    row.model = EscapeControls(camera.camera.model);  // as the batch's own rows
    row.statusText = PreBatchNotice(camera.verdict);
    const std::string version = WithoutVer(camera.camera.version);
    EventJson event = CameraFields("end", row, camera.camera);
    event["outcome"] = OutcomeName(OutcomeOfSetAside(camera));
    event["reason"] = camera.reason;
    event["reason_code"] =
        ReasonCodeName(camera.verdict == PreBatch::NotUpgradable ? ReasonCode::OtherGeneration
                       : camera.verdict == PreBatch::Newer       ? ReasonCode::NewerThanPackage
                                                                 : ReasonCode::UpToDate);
    event["detail"] = "";
    event["kept"] = nullptr;
    event["versionup"] = false;
    event["versionup_at"] = nullptr;
    event["elapsed"] = 0.0;
    event["version_before"] = JsonOrNull(version);
    event["version_after"] = JsonOrNull(version);
    event["started"] = nullptr;
    event["ended"] = nullptr;
    return EventLine(event);
}

OutcomeCounts CountOutcomes(const BatchEngine& engine, const std::vector<SetAside>& setAside) {
    OutcomeCounts counts = CountOutcomes(engine);
    for (const SetAside& camera : setAside)
        counts.Add(OutcomeOfSetAside(camera));
    return counts;
}

std::string SummaryEvent(const OutcomeCounts& counts, const std::string& logPath,
                         size_t stoppedAfterFailures) {
    EventJson event = {{"event", "summary"}};
    for (size_t i = 0; i < kBatchOutcomeCount; ++i)
        event[OutcomeName(static_cast<BatchOutcome>(i))] = counts.counts[i];
    event["log"] = JsonOrNull(logPath);
    event["stopped_after_failures"] =
        stoppedAfterFailures > 0 ? EventJson(stoppedAfterFailures) : EventJson();
    return EventLine(event);
}

std::string BatchLogText(const BatchEngine& engine, const std::vector<SetAside>& setAside) {
    std::string text;
    for (size_t i = 0; i < engine.RowCount(); ++i)
        if (const std::string line = engine.LogLine(i); engine.InLatestRun(i) && !line.empty())
            text += line + RunLine(engine.Row(i), engine.Camera(i));
    for (const SetAside& camera : setAside)
        text += SetAsideLogLine(camera);
    return text;
}

std::string DottedAddress(const std::array<uint8_t, 4>& ip) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
    return text;
}

std::string EventsPathBeside(const std::string& logPath) {
    const std::string stem =
        logPath.ends_with(".txt") ? logPath.substr(0, logPath.size() - 4) : logPath;
    return stem + ".jsonl";
}

bool SaveEventsBeside(const std::string& logPath, const std::string& events) {
    return files::WriteWholeFile(EventsPathBeside(logPath), events);
}

}  // namespace vcq
