#include "targets/pre_batch.h"

#include "upgrade/manual_flow.h"

namespace vcq {
namespace {

std::string_view Plain(std::string_view version) {
    return version.starts_with("ver") ? version.substr(3) : version;
}

}  // namespace

PreBatch DecidePreBatch(std::string_view cameraVersion, std::string_view packageVersion) {
    if (Plain(cameraVersion).empty())
        return PreBatch::Upgrade;
    const VersionGate gate = DecideVersionGate(cameraVersion, packageVersion);
    if (gate == VersionGate::Refused)
        return PreBatch::NotUpgradable;
    if (Plain(cameraVersion) == Plain(packageVersion))
        return PreBatch::UpToDate;
    return gate == VersionGate::ResetQuestion ? PreBatch::ResetFirst : PreBatch::Upgrade;
}

bool StartsTicked(PreBatch verdict) {
    return verdict == PreBatch::Upgrade;
}

std::string PreBatchNotice(PreBatch verdict) {
    switch (verdict) {
        case PreBatch::UpToDate:
            return "Up to date";
        case PreBatch::NotUpgradable:
            return "Not upgradable";
        case PreBatch::ResetFirst:
        case PreBatch::Upgrade:
            break;
    }
    return "";
}

std::string PreBatchReason(PreBatch verdict) {
    switch (verdict) {
        case PreBatch::UpToDate:
            return "The camera already runs the package's version.";
        case PreBatch::NotUpgradable:
            return kVersionRefusedText;
        case PreBatch::ResetFirst:
            return kResetQuestionText;
        case PreBatch::Upgrade:
            break;
    }
    return "";
}

std::string PreBatchOutcomeName(PreBatch verdict) {
    switch (verdict) {
        case PreBatch::UpToDate:
            return "up_to_date";
        case PreBatch::NotUpgradable:
            return "refused";
        case PreBatch::ResetFirst:
        case PreBatch::Upgrade:
            break;
    }
    return "";
}

}  // namespace vcq
