// The JSON events every batch saves beside its upgrade log, read back by
// `retry`: which cameras the batch had and how each ended.
#pragma once

#include <string>
#include <vector>

#include "upgrade/batch_engine.h"
#include "upgrade/batch_records.h"
#include "upgrade/retry_plan.h"

namespace vcq::cli {

// The events a retry reads, from what it is given: the text log a batch
// named, its events file, or the batch's folder (its latest run there).
// Empty with `error` saying why when there are none.
std::string EventsPathFor(const std::string& given, std::string& error);

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
