// The batch's time left and its timeline, from scripted rows: no threads.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "upgrade/batch_estimate.h"
#include "upgrade/job_values.h"
#include "upgrade/steps.h"

using vcq::BatchEngine;
using vcq::BatchTimeline;
using vcq::EstimateInput;
namespace step = vcq::step;

namespace {

struct EstimateCase {
    const char* name;
    EstimateInput input;
    std::optional<double> left;
};

TEST(BatchEstimate, TimeLeftAtTheCompletedCamerasPaceFourAtATimeOneUploadAtATime) {
    const EstimateCase cases[] = {
        {"nothing completed yet", {{}, {5, 5}, 3, 4, {}, {}}, std::nullopt},
        {"the last camera done", {{100}, {}, 0, 4, {}, {}}, 0.0},
        {"one in service halfway", {{100}, {50}, 0, 4, {}, {}}, 50.0},
        {"the usual is the mean", {{80, 120}, {}, 1, 4, {}, {}}, 100.0},
        {"four waiting fill four places", {{100}, {}, 4, 4, {}, {}}, 100.0},
        {"a fifth waits for the first free place", {{100}, {}, 5, 4, {}, {}}, 200.0},
        {"waiting ones follow the earliest free place",
         {{100}, {90, 10, 10, 10}, 1, 4, {}, {}},
         110.0},
        {"overdue in service: cannot tell", {{100}, {250}, 0, 4, {}, {}}, std::nullopt},
        {"nearly done is not done", {{100}, {99.5}, 0, 4, {}, {}}, std::nullopt},
        {"one in service at a time", {{10}, {}, 3, 1, {}, {}}, 30.0},
        {"uploads one after another outlast the places", {{100}, {}, 8, 4, {30}, {40}}, 280.0},
        {"places outlast short uploads", {{100}, {}, 4, 4, {5}, {60}}, 100.0},
        {"the mean upload and the mean reboot", {{100}, {}, 2, 4, {20, 40}, {50, 70}}, 120.0},
        {"a waiting camera behind an overdue one", {{100}, {250}, 1, 4, {20}, {50}}, 100.0},
    };
    for (const EstimateCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<double> left = vcq::EstimateSecondsLeft(c.input);
        ASSERT_EQ(left.has_value(), c.left.has_value());
        if (left) {
            EXPECT_DOUBLE_EQ(*left, *c.left);
        }
    }
}

TEST(BatchEstimate, DurationTexts) {
    const std::pair<double, const char*> cases[] = {
        {0, "0:00"}, {7.4, "0:07"}, {59.6, "1:00"}, {754, "12:34"}, {3723, "1:02:03"}, {-3, "0:00"},
    };
    for (auto [seconds, text] : cases)
        EXPECT_EQ(vcq::DurationText(seconds), text) << seconds;
}

class StepJob : public vcq::BatchJob {
  public:
    void BeginCheck() override {}
    vcq::CheckOutcome PollCheck() override { return vcq::CheckOutcome::Passed; }
    // Past its upload at once unless told, so the next camera may start on
    // the next tick.
    void Start() override { step = startStep; }
    int32_t Step() const override { return step; }
    int32_t Progress() const override { return 0; }
    int32_t AddProgress(int32_t) override { return 0; }
    std::string TargetVersion() const override { return "ver1.08"; }
    void Abandon() override {}
    void Stop(vcq::StopCause cause) override {
        step = vcq::StoppedEndOf(cause, vcq::CheckOutcome::Passed, {}, step, phase, {}).step;
    }
    bool Busy() const override { return false; }
    std::optional<vcq::Phase> CurrentPhase() const override { return phase; }
    vcq::CameraEnd End() const override {
        vcq::CameraEnd end;
        end.finalStep = step;
        vcq::SettleEnd(end, vcq::CheckOutcome::Passed, vcq::ReasonCode::CheckFailed, false);
        return end;
    }
    int32_t step = step::kNotStarted;
    int32_t startStep = step::kOverwriting;
    std::optional<vcq::Phase> phase;
};

// Six cameras ticked at 10 s a tick: each camera's time in service is what
// the timeline measures, and the estimate follows it.
TEST(BatchTimeline, FollowsCamerasIntoServiceAndEstimatesFromCompletedOnes) {
    std::vector<std::shared_ptr<StepJob>> jobs;
    BatchEngine engine(
        [&](const vcq::BatchCamera&, int32_t, std::shared_ptr<const vcq::BatchSettings>) {
            jobs.push_back(std::make_shared<StepJob>());
            return jobs.back();
        });
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(engine.AddCamera({}));
    BatchTimeline timeline;
    EXPECT_FALSE(timeline.Begun());
    timeline.Begin(engine, 0);
    double now = 0;
    auto tick = [&] {
        now += 10;
        engine.Tick();
        timeline.Observe(engine, now);
    };
    tick();  // the first starts
    EXPECT_EQ(timeline.FirstInService(), 0);
    EXPECT_FALSE(timeline.SecondsLeft(now));
    for (int i = 0; i < 3; ++i)
        tick();  // the second to fourth start, one a tick
    jobs[0]->step = step::kCompleted;
    tick();  // the first retired after 40 s in service
    EXPECT_EQ(timeline.FirstInService(), 1);
    // Left 10, 20 and 30 s of the usual 40, and a free place: the fifth
    // takes that, the sixth the one free after 10 s.
    ASSERT_TRUE(timeline.SecondsLeft(now));
    EXPECT_DOUBLE_EQ(*timeline.SecondsLeft(now), 50.0);
    EXPECT_DOUBLE_EQ(timeline.ElapsedSeconds(now), 50.0);
    // With six places the waiting two need not wait for a free one.
    engine.SetMaxInService(6);
    timeline.Observe(engine, now);
    EXPECT_DOUBLE_EQ(*timeline.SecondsLeft(now), 40.0);

    // Abort: the waiting camera is dropped, not counted.
    engine.RequestCancel();
    timeline.Observe(engine, now);
    EXPECT_DOUBLE_EQ(*timeline.SecondsLeft(now), 30.0);
    timeline.End(now);
    EXPECT_FALSE(timeline.SecondsLeft(now + 100));
    EXPECT_DOUBLE_EQ(timeline.ElapsedSeconds(now + 100), 50.0);

    // A later batch over the same rows leaves the completed camera out.
    timeline.Begin(engine, 200);
    EXPECT_EQ(timeline.FirstInService(), 1);
    EXPECT_FALSE(timeline.SecondsLeft(200));
}

// A camera prepared beside another's upload shows "Uploading" while it
// waits: its own upload is timed from the end of the previous one.
TEST(BatchTimeline, AnUploadPreparedAheadCountsFromThePreviousUploadsEnd) {
    std::vector<std::shared_ptr<StepJob>> jobs;
    BatchEngine engine(
        [&](const vcq::BatchCamera&, int32_t, std::shared_ptr<const vcq::BatchSettings>) {
            jobs.push_back(std::make_shared<StepJob>());
            jobs.back()->startStep = step::kUploading;
            return jobs.back();
        });
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(engine.AddCamera({}));
    jobs[0]->phase = vcq::Phase::Upload;     // lets the second be prepared
    jobs[1]->phase = vcq::Phase::AwaitTurn;  // holds back the third
    BatchTimeline timeline;
    timeline.Begin(engine, 0);
    auto tickAt = [&](double now) {
        engine.Tick();
        timeline.Observe(engine, now);
    };
    tickAt(10);  // the first uploads from 10 s
    tickAt(20);  // the second is prepared and waits
    jobs[0]->step = step::kOverwriting;
    tickAt(30);  // the first upload ended: 20 s
    jobs[1]->step = step::kOverwriting;
    tickAt(40);  // the second's: 10 s, not 20; the third starts
    jobs[0]->step = step::kCompleted;
    tickAt(50);  // 40 s in service, 20 after its upload
    // Five waiting at 15 s an upload, plus one reboot, outlast the places.
    ASSERT_TRUE(timeline.SecondsLeft(50));
    EXPECT_DOUBLE_EQ(*timeline.SecondsLeft(50), 5 * 15.0 + 20);
}

}  // namespace
