#include "upgrade/manual_flow.h"

#include "upgrade/job_values.h"

namespace vcq {

bool VersionNeedsResetQuestion(std::string_view cameraVersion) {
    return cameraVersion == "1.08" || cameraVersion == "1.09";
}

bool VersionRefused(std::string_view cameraVersion, std::string_view packageVersion) {
    char c = cameraVersion.empty() ? '\0' : cameraVersion[0];
    char p = packageVersion.empty() ? '\0' : packageVersion[0];
    return (c != '3' && p == '3') || (c == '3' && (p == '1' || p == '2'));
}

VersionGate DecideVersionGate(std::string_view cameraVersion, std::string_view packageVersion) {
    cameraVersion = PlainVersion(cameraVersion);
    if (VersionRefused(cameraVersion, PlainVersion(packageVersion)))
        return VersionGate::Refused;
    return VersionNeedsResetQuestion(cameraVersion) ? VersionGate::ResetQuestion
                                                    : VersionGate::Pass;
}

int ManualStepTextId(int32_t step) {
    switch (step) {
        case 1:
            return 360;
        case 2:
            return 323;
        case 3:
            return 320;
        case 4:
            return 319;
        case 5:
            return 322;
        case 6:
            return 357;
        case 7:
            return 359;
        case 8:
            return 321;
        default:
            return 0;
    }
}

}  // namespace vcq
