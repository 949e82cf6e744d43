// A job's phases as one table: the step each writes as the job enters it,
// what the batch list shows while the job is in it, and the step a job that
// fails in it ends with. The worker's phases, the list's status and the
// events' phase times all read it.
#pragma once

#include <cstdint>

#include "upgrade/job_values.h"

namespace vcq {

inline constexpr int32_t kKeepStep = -1;

struct PhaseRow {
    Phase phase;
    const char* name;  // its time in the events: "<name>_ms"
    int32_t step;      // written on entry; kKeepStep keeps the step before
    int32_t at;        // the job's step while in it
    int32_t shown;     // the list's status then
    int32_t failStep;  // the end of a job that fails in it
};

const PhaseRow& PhaseRowOf(Phase phase);

}  // namespace vcq
