// The JSON events every batch saves beside its upgrade log, read back by
// `retry`: which cameras the batch had and how each ended.
#pragma once

#include <string>
#include <vector>

#include "upgrade/batch_engine.h"
#include "upgrade/retry_plan.h"

namespace vcq::cli {

// "upgrade-log.jsonl" beside "upgrade-log.txt" (and "-2.jsonl" beside
// "-2.txt"): the events of the batch that wrote the log.
std::string EventsPathBeside(const std::string& logPath);

// A camera of an earlier batch as its end event tells it: address, port,
// model, serial and version before (no login: the events hold none).
struct LoggedCamera {
    double id = 0;  // its place in the batch
    BatchCamera camera;
    CameraEnd end;
};

// The cameras of a batch's saved events, in the batch's order. False with `error` when a
// line is not one of our events, a camera's end is missing a field, or the
// summary is missing or does not count the ends.
bool ReadBatchEvents(const std::string& text, std::vector<LoggedCamera>& cameras,
                     std::string& error);

}  // namespace vcq::cli
