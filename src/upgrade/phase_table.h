// A job's phases as one table: the step each writes as the job enters it,
// what the batch list shows while the job is in it, the step a job that
// fails in it ends with, its own bound and the phase that follows it. The
// worker's order, the list's status and the events' phase times all read it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

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
    // Its own bound, for a phase no exchange bounds (null: its exchanges'
    // limits bound it), and the reason a job gives that passed it, followed
    // by the bound ("... within 6 minutes").
    std::chrono::milliseconds PhaseLimits::*bound;
    const char* lateReason;
    Phase next;  // the one that follows once it succeeded; Ended after the last
};

const PhaseRow& PhaseRowOf(Phase phase);
// What the list shows for a job at `step` in `phase` (none: a job without
// phases): one step covers several phases.
int32_t ShownStep(int32_t step, std::optional<Phase> phase);

// "6 minutes", "60 s": a bound in a reason.
std::string BoundText(std::chrono::milliseconds length);
// A phase's late reason with its bound in `limits`; empty for a phase that
// has none.
std::string LateReason(Phase phase, const PhaseLimits& limits);

}  // namespace vcq
