// Ctrl-C, SIGTERM or the console closing during a command that talks to a
// camera: the command ends its exchange, says so and exits 130, rather than
// die with a file half written or a temporary folder left behind.
#pragma once

#include <functional>

namespace vcq {
class CameraUpgrade;
}

namespace vcq::cli {

inline constexpr int kStoppedExit = 130;

// From now on a request to end is only noted, for StopRequested.
void CatchStopRequest();
bool StopRequested();

// Runs the blocking `task` on a thread of its own, its exchanges obeying
// `job`'s abort, and lets the job go (Abandon) once a stop is requested;
// returns once the task ended. True only when it returned true and no stop
// came.
bool RunStoppable(CameraUpgrade& job, const std::function<bool()>& task);

}  // namespace vcq::cli
