// How each camera of a batch ended, read two ways: from the engine's row and
// from the JSON end event a later `retry` reads back. Both must name the
// same outcome and lead to the same retry.
#include <gtest/gtest.h>

#include <optional>
#include <regex>

#include "cli/batch_report.h"
#include "cli/retry_log.h"
#include "upgrade/event_json.h"
#include "upgrade/job_values.h"
#include "upgrade/retry_plan.h"
#include "upgrade/steps.h"

namespace {

using vcq::RetryAction;
namespace step = vcq::step;

struct Case {
    const char* what;
    int32_t finalStep;  // -1: set aside before the batch
    vcq::PreBatch verdict;
    bool versionUpSent;
    const char* kept;
    const char* outcome;
    RetryAction retry;
    const char* code;  // reason_code
    // What the engine found beside the final step.
    std::optional<vcq::ReasonCode> check = {};
    int found = 0;
    const char* model = "VCQ-R20";
};

constexpr const char* kKept = "/b/r \"1\".cfg";
constexpr std::time_t kFlashedAt = 1796828703;  // 2026-12-09T15:05:03Z
constexpr auto kNone = RetryAction::None;
constexpr auto kUpgrade = RetryAction::Upgrade;
constexpr auto kRestore = RetryAction::Restore;
constexpr auto kCheckFirst = RetryAction::RestoreOrUpgrade;
// kEarlierRun: told to flash by the batch a retry comes from, not by the retry;
// kWaits: the retry first waits out a flash that may still run.
enum Found { kCutOff = 1, kCameBack = 2, kAfterFailures = 4, kEarlierRun = 8, kWaits = 16 };

const Case kCases[] = {
    {"version equal", -1, vcq::PreBatch::UpToDate, false, "", "up_to_date", kNone, "up_to_date"},
    {"other generation", -1, vcq::PreBatch::NotUpgradable, false, "", "refused", kNone,
     "other_generation"},
    {"newer", -1, vcq::PreBatch::Newer, false, "", "refused", kNone, "newer_than_package"},
    {"at the target at its check", step::kCompleted, vcq::PreBatch::UpToDate, false, "",
     "up_to_date", kNone, "up_to_date"},
    // Its model names no other line into the log.
    {"forged model",
     -1,
     vcq::PreBatch::NotUpgradable,
     false,
     "",
     "refused",
     kNone,
     "other_generation",
     {},
     0,
     "VCQ-R20\r\nVCQ-R20(127.0.0.9) Completed successfully."},
    {"completed", step::kCompleted, {}, true, "", "completed", kNone, "completed"},
    {"completed, file kept", step::kCompleted, {}, true, kKept, "completed", kNone, "completed"},
    {"step 15",
     step::kNotRestored,
     {},
     true,
     kKept,
     "config_not_restored",
     kRestore,
     "restore_refused"},
    // Upgraded even when its file has gone: still never flashed again.
    {"step 15, file gone",
     step::kNotRestored,
     {},
     true,
     "",
     "config_not_restored",
     kRestore,
     "restore_refused"},
    {"login refused", step::kLoginError, {}, false, "", "failed", kUpgrade, "login_refused"},
    {"not the administrator's",
     step::kLoginError,
     {},
     false,
     "",
     "failed",
     kUpgrade,
     "not_administrator",
     vcq::ReasonCode::NotAdministrator},
    {"no answer to its check",
     step::kVersionUpRefused,
     {},
     false,
     "",
     "failed",
     kUpgrade,
     "no_connection",
     vcq::ReasonCode::NoConnection},
    {"1.09 without agreement",
     step::kVersionUpRefused,
     {},
     false,
     "",
     "failed",
     kUpgrade,
     "reset_not_allowed",
     vcq::ReasonCode::ResetNotAllowed},
    {"upload failed after the save",
     step::kUploadFailed,
     {},
     false,
     kKept,
     "failed",
     kUpgrade,
     "upload_failed"},
    {"versionup refused",
     step::kVersionUpRefused,
     {},
     false,
     kKept,
     "failed",
     kUpgrade,
     "versionup_refused"},
    // Not the step that says the firmware is unchanged.
    {"cut off after flashing",
     step::kWrongVersion,
     {},
     true,
     kKept,
     "failed",
     kCheckFirst,
     "stopped",
     {},
     kCutOff | kWaits},
    {"a retry's restore refused",
     step::kNotRestored,
     {},
     true,
     kKept,
     "config_not_restored",
     kRestore,
     "restore_refused",
     {},
     kEarlierRun},
    {"back with another version",
     step::kWrongVersion,
     {},
     true,
     kKept,
     "failed",
     kCheckFirst,
     "came_back_old",
     {},
     kCameBack},
    {"back late, nothing saved", step::kWrongVersion, {}, true, "", "failed", kUpgrade, "not_back"},
    {"not started", step::kNotStarted, {}, false, "", "not_started", kUpgrade, "not_started"},
    {"stopped after failures",
     step::kNotStarted,
     {},
     false,
     "",
     "not_started",
     kUpgrade,
     "stopped_after_failures",
     {},
     kAfterFailures},
};

TEST(OutcomeTable, TheRowAndItsJsonEndLeadToTheSameRetry) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        vcq::BatchCamera camera;
        camera.ip = {127, 0, 0, 9};
        camera.port = 8080;
        camera.model = c.model;
        camera.version = "ver1.05";
        std::string event;
        vcq::RetryPlan fromRow{RetryAction::None, {}};
        if (c.finalStep < 0) {
            const vcq::SetAside aside{camera, c.verdict, vcq::PreBatchReason(c.verdict)};
            event = vcq::SetAsideEndEvent(aside);
            const std::string line = vcq::SetAsideLogLine(aside);
            EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
        } else {
            vcq::BatchRow row;
            row.step = c.finalStep;
            row.dropped = c.finalStep == step::kNotStarted;
            row.stoppedAfterFailures = c.found & kAfterFailures;
            // The end its job writes, from its check's verdict.
            vcq::CameraEnd& end = row.end;
            end.finalStep = c.finalStep;
            end.versionUpSent = c.versionUpSent && !(c.found & kEarlierRun);
            end.flashed = c.versionUpSent;
            end.versionUpAt = c.versionUpSent ? kFlashedAt : 0;
            end.keptFile = c.kept;
            end.versionAfter = c.found & kCameBack ? "1.05" : "";
            end.phaseTimes[static_cast<size_t>(vcq::Phase::Upload)] =
                std::chrono::milliseconds(520);
            const vcq::CheckOutcome check =
                c.verdict == vcq::PreBatch::UpToDate           ? vcq::CheckOutcome::UpToDate
                : c.check == vcq::ReasonCode::NotAdministrator ? vcq::CheckOutcome::LoginRefused
                : c.check                                      ? vcq::CheckOutcome::Failed
                                                               : vcq::CheckOutcome::Passed;
            vcq::SettleEnd(end, check, c.check.value_or(vcq::ReasonCode::CheckFailed),
                           c.found & kCutOff);
            EXPECT_EQ(vcq::OutcomeName(vcq::OutcomeOf(row)), std::string(c.outcome));
            fromRow = vcq::PlanRetry(row.end);
            event = vcq::EndEvent(row, camera);
            // The job's own phase times ride along, flat as the rest.
            const auto fields = vcq::ParseEventLine(event);
            ASSERT_TRUE(fields);
            EXPECT_EQ(fields->at("upload_ms"), 520);
            EXPECT_EQ(fields->at("restore_ms"), 0);
            EXPECT_EQ(fields->at("versionup"), end.versionUpSent);
        }
        // The JSON end, as `retry` reads it back from the saved events.
        vcq::OutcomeCounts counts;
        for (size_t i = 0; i < vcq::kBatchOutcomeCount; ++i)
            if (c.outcome == std::string(vcq::OutcomeName(static_cast<vcq::BatchOutcome>(i))))
                counts.Add(static_cast<vcq::BatchOutcome>(i));
        const std::string saved = event + "\n" + vcq::SummaryEvent(counts, "") + "\n";
        std::vector<vcq::cli::LoggedCamera> logged;
        std::string error;
        ASSERT_TRUE(vcq::cli::ReadBatchEvents(saved, logged, error)) << error << "\n" << saved;
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(vcq::OutcomeName(logged[0].end.outcome), std::string(c.outcome));
        EXPECT_EQ(vcq::ParseEventLine(event)->value("reason_code", ""), c.code);
        EXPECT_EQ(logged[0].camera.port, 8080);
        EXPECT_EQ(logged[0].end.versionUpAt, c.finalStep >= 0 && c.versionUpSent ? kFlashedAt : 0);
        const vcq::RetryPlan fromJson = vcq::PlanRetry(logged[0].end);
        EXPECT_EQ(fromJson.action, c.retry);
        EXPECT_EQ(fromJson.versionUpAt, c.found & kWaits ? kFlashedAt : 0);
        if (c.finalStep >= 0) {
            EXPECT_EQ(fromRow.action, c.retry);
            EXPECT_EQ(fromRow.keptFile, fromJson.keptFile);
            EXPECT_EQ(fromRow.versionUpAt, fromJson.versionUpAt);
        }
        EXPECT_EQ(fromJson.keptFile, vcq::RestoresKeptFile(fromJson) ? c.kept : "");
    }
}

// Events as `retry` reads them, whatever JSON writer left them, and those it
// must refuse, each with a reason a person can act on.
TEST(OutcomeTable, SavedEventsReadFromAnyJsonWriterOrRefusedWithTheirLine) {
    const std::string end =
        R"({"event":"end","id":1,"address":"127.0.0.2","port":80,"model":"VCQ-R20",)"
        R"("serial":"1","step":15,"status":"Error7","outcome":"config_not_restored",)"
        R"("kept":"/b/r.1.cfg","versionup":true})";
    const std::string summary =
        R"({"event":"summary","completed":0,"failed":0,"config_not_restored":1,)"
        R"("up_to_date":0,"refused":0,"not_started":0,"log":null})";
    // The same end as a script's JSON writer leaves it: spaces, another key
    // order, a number written as a float, fields this tool does not know.
    const std::string rewritten =
        R"({ "versionup_at": "2026-12-09T16:05:03+01:00", "versionup": true, "kept": "/b/r.1.cfg",)"
        R"( "outcome": "config_not_restored", "status": "Error7", "step": 15.0, "serial": "1",)"
        R"( "model": "VCQ-R20", "port": 80, "address": "127.0.0.2", "id": 1, "event": "end",)"
        R"( "phases": {"upload": 3.5}, "tags": [1, "a"] })";
    const std::string spaced = std::regex_replace(summary, std::regex("([:,])"), "$1 ");
    const struct {
        std::string text;
        const char* error;            // empty: read
        std::time_t versionUpAt = 0;  // as read
    } cases[] = {
        {end + "\n" + summary + "\n", ""},
        {end + "\r\n" + summary + "\r\n", ""},
        {rewritten + "\n" + spaced + "\n", "", kFlashedAt},
        {"  " + end + "\t\n" + summary, ""},
        {std::regex_replace(rewritten, std::regex("\\+01:00"), "-00:30") + "\n" + summary, "",
         kFlashedAt + 5400},
        {std::regex_replace(rewritten, std::regex("2026-12-09T"), "yesterday ") + "\n" + summary,
         "line 1 is not a whole camera's end"},
        {std::regex_replace(rewritten, std::regex("15.0"), "15.5") + "\n" + summary,
         "line 1 is not a whole camera's end"},
        {std::regex_replace(rewritten, std::regex("15.0"), "1e300") + "\n" + summary,
         "line 1 is not a whole camera's end"},
        {end + "\n" + std::regex_replace(summary, std::regex("\"failed\":0"), "\"failed\":1e300"),
         "the summary does not count its cameras"},
        {"[" + end + "]\n" + summary, "line 1 is not one of our events"},
        {"", "no summary"},
        {end + "\n", "no summary"},
        {"Summary: 1 completed\n", "line 1 is not one of our events"},
        {"{\"event\":\"end\",\"id\":1\n" + summary + "\n", "line 1 is not one of our events"},
        {R"({"name":"other tool"})"
         "\n",
         "line 1 is not one of our events"},
        {std::regex_replace(end, std::regex("127.0.0.2"), "camera") + "\n" + summary,
         "line 1 is not a whole camera's end"},
        {std::regex_replace(end, std::regex("\"versionup\":true"), "\"versionup\":1") + "\n" +
             summary,
         "line 1 is not a whole camera's end"},
        {end + "\n" + end + "\n" + summary, "line 2 ends a camera a second time"},
        {summary + "\n" + end, "line 2 follows the summary"},
        {std::regex_replace(summary, std::regex("\"config_not_restored\":1"),
                            "\"config_not_restored\":2") +
             "\n" + end,
         "line 2 follows the summary"},
        {end + "\n" +
             std::regex_replace(summary, std::regex("\"config_not_restored\":1"),
                                "\"config_not_restored\":2"),
         "the summary counts 2 cameras, the events end 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<vcq::cli::LoggedCamera> logged;
        std::string error;
        EXPECT_EQ(vcq::cli::ReadBatchEvents(c.text, logged, error), !*c.error);
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        if (!*c.error) {
            ASSERT_EQ(logged.size(), 1u);
            EXPECT_EQ(logged[0].end.keptFile, "/b/r.1.cfg");
            EXPECT_EQ(logged[0].end.versionUpAt, c.versionUpAt);
        }
    }
}

}  // namespace
