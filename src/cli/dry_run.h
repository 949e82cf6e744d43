// batch --dry-run: what the batch would do with each camera and why, from
// the checks the batch itself runs (login, model, image memory, free memory,
// version gates) and whether the camera is already up to date. Only
// inquiries reach the cameras: nothing is saved, enabled or uploaded.
#pragma once

#include <string>
#include <vector>

#include "package/resources.h"
#include "upgrade/batch_engine.h"
#include "upgrade/reason_code.h"

namespace vcq::cli {

// Restore: a retry's camera that only gets its kept configuration back (or,
// not at the target after all, the upgrade with it).
enum class DryRunAction { Upgrade, UpToDate, LeftOut, Restore };

struct DryRunVerdict {
    DryRunAction action = DryRunAction::LeftOut;
    std::string version;  // the camera's, as it reports it; empty when unknown
    std::string reason;   // why it is left out, or what the upgrade would do
    ReasonCode code = ReasonCode::CheckFailed;
};

// The checks of the batch, for one camera, against package `targetVersion`
// ("1.08"), with the camera's own consents (reflash, reset, downgrade); with
// `retain`, a camera whose serial cannot be read is left out.
DryRunVerdict JudgeCamera(const BatchCamera& camera, const ModelList& models,
                          const std::string& targetVersion, bool retain);

// "001 127.0.0.2 upgrade: 1.05 to 1.08", or the JSON object of the same.
std::string DryRunLine(size_t index, const BatchCamera& camera, const DryRunVerdict& verdict,
                       bool json);

// Judges every camera, several at a time, and prints one line each and a
// summary. Exit 0 when each would be upgraded, is up to date or is set aside
// on purpose (another generation), else 1.
int RunDryRun(const std::vector<BatchCamera>& cameras, const ModelList& models, bool retain,
              bool json);

}  // namespace vcq::cli
