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

namespace {

// Digits without their leading zeros compare by length, then as text: no
// overflow whatever the camera reports.
int CompareNumbers(std::string_view a, std::string_view b) {
    auto trim = [](std::string_view n) {
        while (n.size() > 1 && n.front() == '0')
            n.remove_prefix(1);
        return n;
    };
    a = trim(a);
    b = trim(b);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

}  // namespace

bool VersionIsNewer(std::string_view cameraVersion, std::string_view packageVersion) {
    cameraVersion = PlainVersion(cameraVersion);
    packageVersion = PlainVersion(packageVersion);
    if (!IsPlainVersion(cameraVersion) || !IsPlainVersion(packageVersion))
        return false;
    const size_t c = cameraVersion.find('.');
    const size_t p = packageVersion.find('.');
    const int major = CompareNumbers(cameraVersion.substr(0, c), packageVersion.substr(0, p));
    return major > 0 || (major == 0 && CompareNumbers(cameraVersion.substr(c + 1),
                                                      packageVersion.substr(p + 1)) > 0);
}

std::string NewerFirmwareText(std::string_view cameraVersion, std::string_view packageVersion) {
    return "newer than this program's firmware (" + std::string(PlainVersion(cameraVersion)) +
           " > " + std::string(PlainVersion(packageVersion)) + ")";
}

std::string DowngradeQuestionText(std::string_view cameraVersion, std::string_view packageVersion) {
    return "The camera's firmware (" + std::string(PlainVersion(cameraVersion)) +
           ") is newer than this program's (" + std::string(PlainVersion(packageVersion)) +
           "). Install the older firmware?";
}

VersionGate DecideVersionGate(std::string_view cameraVersion, std::string_view packageVersion) {
    cameraVersion = PlainVersion(cameraVersion);
    if (VersionRefused(cameraVersion, PlainVersion(packageVersion)))
        return VersionGate::Refused;
    if (VersionIsNewer(cameraVersion, packageVersion))
        return VersionGate::Downgrade;
    return VersionNeedsResetQuestion(cameraVersion) ? VersionGate::ResetQuestion
                                                    : VersionGate::Pass;
}

JobGate DecideJobGate(std::string_view cameraVersion, std::string_view packageVersion,
                      const GateConsent& consent, std::string& reason, ReasonCode* code) {
    reason.clear();
    ReasonCode unused;
    ReasonCode& why = code ? *code : unused;
    if (VersionRefused(PlainVersion(cameraVersion), PlainVersion(packageVersion))) {
        reason = kVersionRefusedText;
        why = ReasonCode::OtherGeneration;
        return JobGate::Refused;
    }
    if (VersionIsNewer(cameraVersion, packageVersion) && !consent.downgrade) {
        reason = NewerFirmwareText(cameraVersion, packageVersion);
        why = ReasonCode::NewerThanPackage;
        return JobGate::Refused;
    }
    if (PlainVersion(cameraVersion) == PlainVersion(packageVersion) && !consent.reflash) {
        reason = kUpToDateText;
        why = ReasonCode::UpToDate;
        return JobGate::UpToDate;
    }
    if (VersionNeedsResetQuestion(PlainVersion(cameraVersion)) && !consent.reset) {
        reason = std::string("left out: ") + kResetQuestionText;
        why = ReasonCode::ResetNotAllowed;
        return JobGate::LeftOut;
    }
    return JobGate::Pass;
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
