#include "upgrade/pre_batch.h"

#include "upgrade/job_values.h"
#include "upgrade/manual_flow.h"

namespace vcq {

PreBatch DecidePreBatch(std::string_view cameraVersion, std::string_view packageVersion) {
    if (PlainVersion(cameraVersion).empty())
        return PreBatch::Upgrade;
    const VersionGate gate = DecideVersionGate(cameraVersion, packageVersion);
    if (gate == VersionGate::Refused)
        return PreBatch::NotUpgradable;
    if (gate == VersionGate::Downgrade)
        return PreBatch::Newer;
    if (PlainVersion(cameraVersion) == PlainVersion(packageVersion))
        return PreBatch::UpToDate;
    return gate == VersionGate::ResetQuestion ? PreBatch::ResetFirst : PreBatch::Upgrade;
}

bool StartsTicked(PreBatch verdict) {
    return verdict == PreBatch::Upgrade;
}

std::string PreBatchNotice(PreBatch verdict) {
    switch (verdict) {
        case PreBatch::UpToDate:
            return kUpToDateWord;
        case PreBatch::NotUpgradable:
            return kNotUpgradableWord;
        case PreBatch::Newer:
            return "Newer";
        case PreBatch::ResetFirst:
        case PreBatch::Upgrade:
            break;
    }
    return "";
}

std::string PreBatchReason(PreBatch verdict, std::string_view cameraVersion,
                           std::string_view packageVersion) {
    switch (verdict) {
        case PreBatch::UpToDate:
            return kUpToDateText;
        case PreBatch::NotUpgradable:
            return kVersionRefusedText;
        case PreBatch::Newer:
            return NewerFirmwareText(cameraVersion, packageVersion);
        case PreBatch::ResetFirst:
            return kResetQuestionText;
        case PreBatch::Upgrade:
            break;
    }
    return "";
}

}  // namespace vcq
