// What `batch` and `retry` share: their choices, the cameras' identities
// asked of the cameras, and the run itself with its output, log and events.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch_report.h"
#include "cli/options.h"
#include "upgrade/batch_engine.h"

namespace vcq::cli {

struct BatchChoices {
    bool retain = true;
    bool keepBackup = false;
    bool json = false;
    bool yes = false;
    size_t inService = kBatchMaxInService;
    size_t maxFailures = 0;  // 0: no stop-loss
    std::optional<std::string> failedList;
};
// --retain/--no-retain/--backup, --json, --yes, --failed-list, --in-service,
// --max-failures.
std::optional<BatchChoices> ReadBatchChoices(const ParsedArgs& parsed, std::string& error);

// Model, version, serial and DHCP flag of cameras given by address, asked
// of the cameras themselves, several at a time. A camera that does not
// answer keeps its address as its serial, so that its backup file name
// stays its own; its check ends it anyway.
void IdentifyCameras(std::vector<BatchCamera>& cameras);

// Runs the cameras as one batch (the set-aside ones only reported), prints
// its progress and end, saves its log and, beside it, its JSON events;
// returns the exit code. `command` prefixes its messages.
int RunCameraBatch(const char* command, const BatchChoices& choices,
                   const std::vector<BatchCamera>& cameras, const std::vector<SetAside>& setAside);

}  // namespace vcq::cli
