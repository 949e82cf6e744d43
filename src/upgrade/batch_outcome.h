// How each camera of a batch ended, in the words the page, the log and the
// headless tool share, and the batch's summary of them.
#pragma once

#include <cstddef>
#include <string>

#include "upgrade/batch_row.h"

namespace vcq {

class BatchEngine;

BatchOutcome OutcomeOf(const BatchRow& row);
// "completed", "failed", "config_not_restored", "up_to_date", "refused",
// "not_started": the JSON's names.
const char* OutcomeName(BatchOutcome outcome);

// Why the row's camera ended as it did (its final step, its check's finding,
// the operator's stop); NotStarted while it has not ended.
ReasonCode ReasonOf(const BatchRow& row);
ReasonCode ReasonOf(const CameraEnd& end);

// What a row's status says once it ended: a failure's code and its result
// ("Error3 Login error."), "Not upgradable" for another generation; while it
// runs, its status text.
std::string RowStatusText(const BatchRow& row);

// How many cameras ended each way, in BatchOutcome's order.
struct OutcomeCounts {
    size_t counts[kBatchOutcomeCount] = {};
    size_t operator[](BatchOutcome outcome) const { return counts[static_cast<int>(outcome)]; }
    void Add(BatchOutcome outcome) { ++counts[static_cast<int>(outcome)]; }
};
// The rows of the batch's latest run: a retry counts only its cameras.
OutcomeCounts CountOutcomes(const BatchEngine& engine);
// "Summary: 3 completed, 1 failed, 0 configuration not back, ...".
std::string SummaryLine(const OutcomeCounts& counts);

}  // namespace vcq
