// What `batch` tells the terminal beside its records: the line of a camera
// set aside, the stop-loss's line, and the list of the cameras that did not
// complete in the form `--csv` reads back.
#pragma once

#include <string>

#include "upgrade/batch_records.h"

namespace vcq::cli {

// "127.0.0.2 Up to date: ..." for the text output.
std::string SetAsideLine(const SetAside& camera);
// "Stopped after N failed cameras (--max-failures N): M not started".
std::string StoppedAfterFailuresLine(size_t maxFailures, const OutcomeCounts& counts);
// One "a.b.c.d" or "a.b.c.d,PORT" line per camera whose upgrade must run
// again; empty when there is none. Cameras told to flash whose configuration
// is kept (upgraded without it back, or failed after the versionup) are
// `retry`'s: a "#" comment line counts them.
std::string NotCompletedList(const BatchEngine& engine);

}  // namespace vcq::cli
