// Ctrl-C, SIGTERM or the console closing during a command that talks to a
// camera: the command ends its exchange, says so and exits 130, rather than
// die with a file half written or a temporary folder left behind.
#pragma once

#include <functional>
#include <memory>

#include "platform/transfer_abort.h"

namespace vcq::cli {

inline constexpr int kStoppedExit = 130;

// From now on a request to end is only noted, for StopRequested.
void CatchStopRequest();
bool StopRequested();

// Runs the blocking `task` on a thread of its own, its transfers obeying
// `abort`, which is pulled once a stop is requested; returns once the task
// ended. True only when it returned true and no stop came.
bool RunStoppable(const std::function<bool()>& task, const std::shared_ptr<TransferAbort>& abort);

}  // namespace vcq::cli
