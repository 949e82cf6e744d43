// What `batch` tells scripts: one JSON object a line for every status change,
// every camera's end and the batch's summary, and the list of the cameras
// that did not complete in the form `--csv` reads back.
#pragma once

#include <string>
#include <string_view>

#include "upgrade/batch_engine.h"

namespace vcq::cli {

// `text` as a JSON string, quotes included: quotes, backslashes and control
// characters escaped; bytes that are not UTF-8 (a camera may send any) become
// U+FFFD, so that every line parses.
std::string JsonString(std::string_view text);

enum class BatchOutcome { Completed, Failed, NotStarted };
BatchOutcome OutcomeOf(const BatchRow& row);

// {"event":"status","id":1,"address":"a.b.c.d","port":80,"model":...,
//  "serial":...,"step":2,"status":"Uploading"}
std::string StatusEvent(const BatchRow& row, const BatchCamera& camera);
// The status fields plus "outcome" ("completed", "failed", "not_started"),
// "reason" (the log's result text), "detail" (why, when known), "kept" (the
// configuration file left behind, or null) and "elapsed" (seconds from the
// camera's check to its end).
std::string EndEvent(const BatchRow& row, const BatchCamera& camera);
// {"event":"summary","completed":N,"failed":N,"not_started":N,"log":PATH}
// with "log" null when the log could not be written.
std::string SummaryEvent(const BatchEngine& engine, const std::string& logPath);

// One "a.b.c.d" or "a.b.c.d,PORT" line per camera that did not complete;
// empty when all did.
std::string NotCompletedList(const BatchEngine& engine);

}  // namespace vcq::cli
