// What every batch leaves behind, whichever front end ran it: its upgrade
// log and, beside it, its events (one JSON object a line for every status
// change, every camera's end and the batch's summary), which `retry` reads
// back.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "upgrade/batch_engine.h"
#include "upgrade/batch_outcome.h"
#include "upgrade/event_json.h"
#include "upgrade/pre_batch.h"

namespace vcq {

// A camera the batch leaves alone before it starts: already on the package's
// version (unless reflashed), of another firmware generation, or newer than
// the package (unless the operator allowed the downgrade).
struct SetAside {
    BatchCamera camera;
    PreBatch verdict = PreBatch::UpToDate;
    std::string reason;  // PreBatchReason with the versions
};
// Moves such cameras out of `cameras`, which keeps its order.
std::vector<SetAside> SetAsideBeforeBatch(std::vector<BatchCamera>& cameras,
                                          std::string_view packageVersion, bool reflash);
// Its upgrade log line: "VCQ-R20(127.0.0.2) " and the reason, CR LF.
std::string SetAsideLogLine(const SetAside& camera);

// {"event":"status","id":1,"address":"a.b.c.d","port":80,"model":...,
//  "serial":...,"step":2,"status":"Uploading"}
std::string StatusEvent(const BatchRow& row, const BatchCamera& camera);
// The status fields plus "outcome" ("completed", "failed",
// "config_not_restored", "not_started"), "reason" (the log's result text),
// "reason_code" (ReasonOf's word),
// "detail" (why, when known), "kept" (the configuration file left behind, or
// null), "versionup" (whether the camera was told to flash), "versionup_at"
// (when it was last told to, local time as "started", or null), "elapsed" (seconds from the
// camera's check to its end), "version_before" and "version_after" (null when unknown), "started"
// and "ended" (ISO 8601 local time with its offset, null when it never began), and the
// milliseconds of each phase by the job's own clock: "check_ms", "save_ms", "prepare_ms",
// "ftp_on_ms", "turn_ms", "upload_ms", "versionup_ms", "gone_ms", "back_ms", "restore_ms" (0 for a
// phase it never ran).
std::string EndEvent(const BatchRow& row, const BatchCamera& camera);
// The end event of a camera set aside: outcome "up_to_date" or "refused",
// its reason, nothing started.
std::string SetAsideEndEvent(const SetAside& camera);

// The batch's rows and the cameras set aside before it.
OutcomeCounts CountOutcomes(const BatchEngine& engine, const std::vector<SetAside>& setAside);
// {"event":"summary","completed":N,"failed":N,"config_not_restored":N,
//  "up_to_date":N,"refused":N,"not_started":N,"log":PATH}
// with "log" null when the log could not be written, and
// "stopped_after_failures": N when --max-failures N stopped the batch
// (else null).
std::string SummaryEvent(const OutcomeCounts& counts, const std::string& logPath,
                         size_t stoppedAfterFailures = 0);
// The upgrade log of the batch's latest run: each camera's line, and beneath
// it, indented, its versions before and after and when it began and ended;
// then the lines of the cameras set aside.
std::string BatchLogText(const BatchEngine& engine, const std::vector<SetAside>& setAside);

// "a.b.c.d".
std::string DottedAddress(const std::array<uint8_t, 4>& ip);

// "upgrade-log.jsonl" beside "upgrade-log.txt" (and "-2.jsonl" beside
// "-2.txt"): the events of the batch that wrote the log.
std::string EventsPathBeside(const std::string& logPath);
// Writes a batch's events there; false when they could not be saved whole.
bool SaveEventsBeside(const std::string& logPath, const std::string& events);

}  // namespace vcq
