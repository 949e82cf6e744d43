// How each camera of a batch ended, read two ways: from the engine's row and
// from the JSON end event a later `retry` reads back. Both must name the
// same outcome and lead to the same retry.
#include <gtest/gtest.h>

#include <regex>

#include "cli/batch_report.h"
#include "cli/flat_json.h"
#include "cli/retry_log.h"
#include "upgrade/camera_upgrade.h"
#include "upgrade/retry_plan.h"

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
};

constexpr const char* kKept = "/b/r \"1\".cfg";
constexpr auto kNone = RetryAction::None;
constexpr auto kUpgrade = RetryAction::Upgrade;
constexpr auto kRestore = RetryAction::Restore;
constexpr auto kCheckFirst = RetryAction::RestoreOrUpgrade;

const Case kCases[] = {
    {"version equal", -1, vcq::PreBatch::UpToDate, false, "", "up_to_date", kNone},
    {"other generation", -1, vcq::PreBatch::NotUpgradable, false, "", "refused", kNone},
    {"newer", -1, vcq::PreBatch::Newer, false, "", "refused", kNone},
    {"at the target at its check", step::kCompleted, vcq::PreBatch::UpToDate, false, "",
     "up_to_date", kNone},
    {"completed", step::kCompleted, {}, true, "", "completed", kNone},
    {"completed, file kept", step::kCompleted, {}, true, kKept, "completed", kNone},
    {"step 15", step::kNotRestored, {}, true, kKept, "config_not_restored", kRestore},
    // Upgraded even when its file has gone: still never flashed again.
    {"step 15, file gone", step::kNotRestored, {}, true, "", "config_not_restored", kRestore},
    {"login refused", step::kLoginError, {}, false, "", "failed", kUpgrade},
    {"upload failed after the save", step::kUploadFailed, {}, false, kKept, "failed", kUpgrade},
    {"versionup refused", step::kVersionUpRefused, {}, false, kKept, "failed", kUpgrade},
    {"cut off after flashing", step::kVersionUpRefused, {}, true, kKept, "failed", kCheckFirst},
    {"back with another version", step::kWrongVersion, {}, true, kKept, "failed", kCheckFirst},
    {"back late, nothing saved", step::kWrongVersion, {}, true, "", "failed", kUpgrade},
    {"not started", step::kNotStarted, {}, false, "", "not_started", kUpgrade},
};

TEST(OutcomeTable, TheRowAndItsJsonEndLeadToTheSameRetry) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        vcq::BatchCamera camera;
        camera.ip = {127, 0, 0, 9};
        camera.port = 8080;
        camera.model = "VCQ-R20";
        camera.version = "ver1.05";
        std::string event;
        vcq::RetryPlan fromRow{RetryAction::None, {}};
        if (c.finalStep < 0) {
            event =
                vcq::cli::SetAsideEndEvent(1, {camera, c.verdict, vcq::PreBatchReason(c.verdict)});
        } else {
            vcq::BatchRow row;
            row.finalStep = row.step = c.finalStep;
            row.dropped = c.finalStep == step::kNotStarted;
            row.versionUpSent = c.versionUpSent;
            row.keptFile = c.kept;
            row.upToDate = c.verdict == vcq::PreBatch::UpToDate;
            EXPECT_EQ(vcq::OutcomeName(vcq::OutcomeOf(row)), std::string(c.outcome));
            fromRow = vcq::PlanRetry(vcq::EndOf(row));
            event = vcq::cli::EndEvent(row, camera);
        }
        // The JSON end, as `retry` reads it back from the saved events.
        vcq::OutcomeCounts counts;
        for (size_t i = 0; i < vcq::kBatchOutcomeCount; ++i)
            if (c.outcome == std::string(vcq::OutcomeName(static_cast<vcq::BatchOutcome>(i))))
                counts.Add(static_cast<vcq::BatchOutcome>(i));
        const std::string saved = event + "\n" + vcq::cli::SummaryEvent(counts, "") + "\n";
        std::vector<vcq::cli::LoggedCamera> logged;
        std::string error;
        ASSERT_TRUE(vcq::cli::ReadBatchEvents(saved, logged, error)) << error << "\n" << saved;
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(vcq::OutcomeName(logged[0].end.outcome), std::string(c.outcome));
        EXPECT_EQ(logged[0].camera.port, 8080);
        const vcq::RetryPlan fromJson = vcq::PlanRetry(logged[0].end);
        EXPECT_EQ(fromJson.action, c.retry);
        if (c.finalStep >= 0) {
            EXPECT_EQ(fromRow.action, c.retry);
            EXPECT_EQ(fromRow.keptFile, fromJson.keptFile);
        }
        EXPECT_EQ(fromJson.keptFile, vcq::RestoresKeptFile(fromJson) ? c.kept : "");
    }
}

// Events `retry` must refuse, each with a reason a person can act on.
TEST(OutcomeTable, SavedEventsThatAreNotABatchsAreRefusedWithTheirLine) {
    const std::string end =
        R"({"event":"end","id":1,"address":"127.0.0.2","port":80,"model":"VCQ-R20",)"
        R"("serial":"1","step":15,"status":"Error7","outcome":"config_not_restored",)"
        R"("kept":"/b/r.1.cfg","versionup":true})";
    const std::string summary =
        R"({"event":"summary","completed":0,"failed":0,"config_not_restored":1,)"
        R"("up_to_date":0,"refused":0,"not_started":0,"log":null})";
    const struct {
        std::string text;
        const char* error;  // empty: read
    } cases[] = {
        {end + "\n" + summary + "\n", ""},
        {end + "\r\n" + summary + "\r\n", ""},
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
    }
}

}  // namespace
