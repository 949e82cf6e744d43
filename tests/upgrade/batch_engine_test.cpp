// The batch engine's walk with scripted jobs: no threads, no sockets. Each
// job's step, check outcome and progress are what the test says. Then the
// program's own jobs against scripted cameras on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "protocol/cgi_client.h"
#include "recording_window.h"
#include "scripted_server.h"
#include "upgrade/batch_driver.h"
#include "upgrade/batch_engine.h"
#include "upgrade/batch_outcome.h"
#include "upgrade/job_transfers.h"
#include "upgrade/job_values.h"
#include "upgrade/manual_flow.h"
#include "upgrade/steps.h"
#include "upgrade/upgrade_session.h"

using vcq::BatchCamera;
using vcq::BatchEngine;
using vcq::CheckOutcome;
namespace step = vcq::step;

namespace {

struct Script {
    int32_t step = 0;
    CheckOutcome check = CheckOutcome::Passed;
    int32_t progress = 0;
    int checksBegun = 0;
    int starts = 0;
    bool abandoned = false;
    std::string targetVersion = "ver1.08";
    std::string detail;
    std::string kept;
    bool versionUpSent = false;
    // A transfer under way; once abandoned it ends after this many more ticks.
    bool inTransfer = false;
    int ticksToStop = 0;
    vcq::UploadTally upload;
    std::optional<vcq::Phase> phase;
};

class ScriptedJob : public vcq::BatchJob {
  public:
    explicit ScriptedJob(std::shared_ptr<Script> script) : s_(std::move(script)) {}
    void BeginCheck() override { ++s_->checksBegun; }
    CheckOutcome PollCheck() override { return s_->check; }
    void Start() override {
        ++s_->starts;
        s_->step = step::kUploading;
    }
    int32_t Step() const override { return s_->step; }
    int32_t Progress() const override { return s_->progress; }
    int32_t AddProgress(int32_t amount) override { return s_->progress += amount; }
    std::string TargetVersion() const override { return s_->targetVersion; }
    void Abandon() override { s_->abandoned = true; }
    void Stop(vcq::StopCause cause) override {
        if (!vcq::IsFinalStep(s_->step)) {
            vcq::StoppedEnd end =
                vcq::StoppedEndOf(cause, s_->check, s_->detail, s_->step, s_->phase, s_->upload);
            s_->step = end.step;
            s_->detail = std::move(end.reason);
            cutOff_ = cause == vcq::StopCause::Operator;
        }
        s_->abandoned = true;
    }
    bool Busy() const override { return s_->inTransfer; }
    bool InTransfer() const override {
        // The engine asks once per tick: the stop takes that many asks.
        if (s_->inTransfer && s_->abandoned && s_->ticksToStop-- <= 0)
            s_->inTransfer = false;
        return s_->inTransfer;
    }
    vcq::UploadTally Upload() const override { return s_->upload; }
    std::optional<vcq::Phase> CurrentPhase() const override { return s_->phase; }
    vcq::CameraEnd End() const override {
        vcq::CameraEnd end;
        end.finalStep = s_->step;
        end.reason = s_->detail;
        end.keptFile = s_->kept;
        end.versionUpSent = end.flashed = s_->versionUpSent;
        vcq::SettleEnd(end, s_->check, vcq::ReasonCode::CheckFailed, cutOff_);
        return end;
    }

  private:
    std::shared_ptr<Script> s_;
    bool cutOff_ = false;
};

class BatchWalk : public ::testing::Test {
  protected:
    BatchWalk()
        : engine_([this](const BatchCamera& camera, int32_t index,
                         std::shared_ptr<const vcq::BatchSettings> settings) {
              if (!retrying_) {
                  EXPECT_EQ(index, static_cast<int32_t>(jobs_.size()));
              }
              made_.push_back({index, camera.user, camera.password, settings, camera.retry});
              jobs_.push_back(std::make_shared<Script>());
              return std::make_shared<ScriptedJob>(jobs_.back());
          }) {}

    struct Made {
        int32_t index;
        std::string user;
        std::string password;
        std::shared_ptr<const vcq::BatchSettings> settings;
        vcq::RetryPlan retry;
    };

    void AddCameras(int count, int32_t port = 80, bool dhcp = false) {
        for (int i = 0; i < count; ++i) {
            BatchCamera camera;
            camera.ip = {192, 168, 0, static_cast<uint8_t>(10 + jobs_.size())};
            camera.port = port;
            camera.dhcp = dhcp;
            camera.model = "VCQ-R20";
            camera.version = "1.05";
            camera.user = "admin" + std::to_string(jobs_.size());
            camera.password = "pw" + std::to_string(jobs_.size());
            ASSERT_TRUE(engine_.AddCamera(camera));
        }
    }

    Script& Job(size_t i) { return *jobs_.at(i); }
    std::string Status(size_t row) const { return engine_.Row(row).statusText; }
    int Starts() const {
        int n = 0;
        for (const auto& j : jobs_)
            n += j->starts;
        return n;
    }
    // Ticks until job `i` has started (each tick may start one).
    void TickUntilStarted(size_t i) {
        for (int guard = 0; guard < 20 && Job(i).starts == 0; ++guard)
            engine_.Tick();
        ASSERT_EQ(Job(i).starts, 1) << "job " << i;
    }

    std::vector<std::shared_ptr<Script>> jobs_;
    std::vector<Made> made_;
    bool retrying_ = false;
    BatchEngine engine_;
};

}  // namespace

TEST_F(BatchWalk, RowsCarryTheIdAddressAndStandby) {
    AddCameras(1);
    AddCameras(1, 8080);
    EXPECT_EQ(engine_.Row(0).idText, "001");
    EXPECT_EQ(engine_.Row(1).idText, "002");
    EXPECT_EQ(engine_.Row(0).addressText, "192.168.0.10");
    EXPECT_EQ(engine_.Row(1).addressText, "192.168.0.11:8080");
    EXPECT_EQ(Status(0), "Standby");
    EXPECT_EQ(vcq::CameraHostText({127, 0, 1, 2}, 81), "127.0.1.2:81");
}

TEST_F(BatchWalk, OneStartPerTickAndNoneWhileAnEarlierJobUploads) {
    AddCameras(3);
    engine_.Tick();
    EXPECT_EQ(Starts(), 1);
    EXPECT_EQ(Status(0), "Uploading");
    // Still uploading, then saving its configuration: nothing else starts.
    for (int32_t s : {step::kUploading, step::kSavingConfig}) {
        Job(0).step = s;
        for (int t = 0; t < 5; ++t)
            engine_.Tick();
        EXPECT_EQ(Starts(), 1);
        EXPECT_EQ(Status(1), "Standby");
    }
    Job(0).step = step::kOverwriting;
    engine_.Tick();
    EXPECT_EQ(Starts(), 2);
    EXPECT_EQ(Job(1).starts, 1);
    EXPECT_EQ(Status(0), "Overwriting");
    // The second one uploads now, so the third waits although the first no longer does.
    engine_.Tick();
    EXPECT_EQ(Job(2).starts, 0);
    Job(1).step = step::kOverwriting;
    engine_.Tick();
    EXPECT_EQ(Job(2).starts, 1);
}

TEST_F(BatchWalk, FourInServiceTheFifthAndSixthStandByUntilOneRetires) {
    AddCameras(6);
    for (size_t i = 0; i < 4; ++i) {
        TickUntilStarted(i);
        Job(i).step = step::kOverwriting;
    }
    for (int t = 0; t < 10; ++t)
        engine_.Tick();
    EXPECT_EQ(Job(4).checksBegun, 0);
    EXPECT_EQ(Job(4).starts + Job(5).starts, 0);
    EXPECT_EQ(Status(4), "Standby");
    EXPECT_EQ(Status(5), "Standby");

    Job(2).step = step::kCompleted;
    engine_.Tick();  // the retired job counts as one of the four serviced
    EXPECT_EQ(engine_.ActiveCount(), 5u);
    EXPECT_EQ(Status(2), "Completed");
    EXPECT_EQ(Job(4).starts, 0);
    engine_.Tick();
    EXPECT_EQ(Job(4).starts, 1);
    Job(4).step = step::kOverwriting;
    for (int t = 0; t < 5; ++t)
        engine_.Tick();
    EXPECT_EQ(Job(5).starts, 0);
    EXPECT_EQ(Status(5), "Standby");
}

TEST_F(BatchWalk, ACheckUnderWayHoldsBackEveryLaterStart) {
    AddCameras(3);
    Job(0).check = CheckOutcome::Pending;
    for (int t = 0; t < 5; ++t)
        engine_.Tick();
    EXPECT_EQ(Job(0).checksBegun, 1);  // begun once, then only asked
    EXPECT_EQ(Job(1).checksBegun, 0);
    EXPECT_EQ(Starts(), 0);
    EXPECT_EQ(Status(0), "Searching");  // being checked

    Job(0).check = CheckOutcome::Passed;
    engine_.Tick();
    EXPECT_EQ(Job(0).starts, 1);
    EXPECT_EQ(Job(1).checksBegun, 0);

    // A full camera's check: "Searching" until its outcome is known, then
    // the end the job was told to write.
    Job(0).step = step::kOverwriting;
    Job(1).check = CheckOutcome::Pending;
    engine_.Tick();
    engine_.Tick();
    EXPECT_EQ(Status(1), "Searching");
    EXPECT_EQ(engine_.ActiveCount(), 3u);
    Job(1).check = CheckOutcome::LowMemory;
    engine_.Tick();
    engine_.Tick();
    EXPECT_EQ(engine_.Row(1).end.finalStep, step::kLowMemory);
}

TEST_F(BatchWalk, FailedChecksEndInErrorOneOrFiveAndTheWalkGoesOn) {
    AddCameras(3);
    Job(0).check = CheckOutcome::Failed;
    Job(0).detail = "the camera did not answer";
    Job(1).check = CheckOutcome::LowMemory;
    engine_.Tick();
    // Both failed in this tick and the third started in it.
    EXPECT_EQ(Job(2).starts, 1);
    EXPECT_EQ(Job(0).starts + Job(1).starts, 0);
    EXPECT_EQ(Status(0), "Standby");  // its text waits for the next tick
    engine_.Tick();
    EXPECT_EQ(Status(0), "Error1");
    EXPECT_EQ(Status(1), "Error5");
    EXPECT_EQ(engine_.Row(0).end.finalStep, step::kVersionUpRefused);
    EXPECT_EQ(engine_.Row(1).end.finalStep, step::kLowMemory);
    EXPECT_EQ(engine_.LogLine(0),
              "VCQ-R20(192.168.0.10) Network error (missing target).\r\n"
              "    the camera did not answer\r\n");
    EXPECT_EQ(engine_.LogLine(1), "VCQ-R20(192.168.0.11) Insufficient memory.\r\n");
    EXPECT_EQ(engine_.Row(0).end.reason, "the camera did not answer");
}

TEST_F(BatchWalk, TheProgressLimitStopsTheJobWithErrorOneAndItsReason) {
    AddCameras(2);
    engine_.Tick();
    Job(0).step = step::kUploading;  // an upload that never ends
    Job(0).progress = vcq::kBatchProgressFull - 1;
    engine_.Tick();  // 10000: still within the limit
    EXPECT_EQ(Status(0), "Uploading");
    EXPECT_FALSE(Job(0).abandoned);
    Job(1).step = step::kOverwriting;  // keep the second busy too
    engine_.Tick();                    // 10001
    EXPECT_TRUE(Job(0).abandoned);
    EXPECT_EQ(Status(0), "Error1");
    const int32_t shown = engine_.Row(0).progress;

    // The job wrote the end it was given; its counter no longer moves the bar.
    EXPECT_EQ(Job(0).step, step::kVersionUpRefused);
    Job(0).progress = 5;
    EXPECT_EQ(engine_.Row(0).progress, shown);
    engine_.Tick();
    EXPECT_EQ(engine_.Row(0).end.finalStep, step::kVersionUpRefused);
    EXPECT_EQ(engine_.Row(0).progress, vcq::kBatchProgressFull);
    EXPECT_EQ(engine_.Row(0).version, "1.05");
    EXPECT_EQ(engine_.Row(0).end.reason, "still under way after 10000 engine ticks");
    EXPECT_EQ(engine_.ActiveCount(), 1u);
}

TEST_F(BatchWalk, AGivenUpUploadIsStoppedBeforeAnyOtherUploadStarts) {
    struct Case {
        const char* name;
        int ticksToStop;   // after the engine asked the job to stop
        bool clearBefore;  // the batch was cleared: a new one waits just the same
    };
    const Case cases[] = {
        {"stops at once", 0, false},
        {"stops a few ticks later", 3, false},
        {"cleared, still stopping", 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine_.Clear();
        jobs_.clear();
        AddCameras(2);
        engine_.Tick();
        ASSERT_EQ(Job(0).starts, 1);
        Script& slow = Job(0);
        slow.inTransfer = true;
        slow.ticksToStop = c.ticksToStop;
        slow.upload = {123456, 7000000, std::chrono::milliseconds(329600)};
        slow.progress = vcq::kBatchProgressFull;
        engine_.Tick();  // past the limit: asked to stop
        ASSERT_TRUE(slow.abandoned);
        size_t next = 1;
        if (c.clearBefore) {
            engine_.Clear();
            retrying_ = true;  // the new batch's rows count from 0 again
            AddCameras(1);
            retrying_ = false;
            next = 2;
        }
        // Nothing starts while the given-up upload still runs.
        int ticks = 0;
        for (; slow.inTransfer && ticks < 20; ++ticks) {
            engine_.Tick();
            EXPECT_TRUE(Job(next).starts == 0 || !slow.inTransfer) << "tick " << ticks;
        }
        EXPECT_FALSE(slow.inTransfer);
        TickUntilStarted(next);
        if (!c.clearBefore) {
            EXPECT_EQ(engine_.Row(0).end.finalStep, step::kVersionUpRefused);
            EXPECT_EQ(engine_.Row(0).end.reason,
                      "the upload was too slow: 123456 of 7000000 bytes in 330 s");
        }
    }
}

TEST_F(BatchWalk, AbortLetsRunningJobsFinishAndLogsTheOthersAsNotStarted) {
    AddCameras(4);
    TickUntilStarted(0);
    Job(0).step = step::kOverwriting;
    TickUntilStarted(1);
    Job(1).step = step::kOverwriting;
    Job(2).check = CheckOutcome::Pending;  // asked, not answered yet
    engine_.Tick();
    ASSERT_EQ(Job(2).checksBegun, 1);

    engine_.RequestCancel();
    Job(2).check = CheckOutcome::Passed;
    for (int t = 0; t < 5; ++t)
        EXPECT_TRUE(engine_.Tick());
    EXPECT_EQ(Job(2).starts + Job(3).starts, 0);
    EXPECT_EQ(engine_.ActiveCount(), 4u);

    Job(0).step = step::kCompleted;
    Job(1).step = step::kWrongVersion;
    EXPECT_FALSE(engine_.Tick());
    EXPECT_EQ(engine_.ActiveCount(), 0u);
    EXPECT_FALSE(engine_.CancelRequested());
    EXPECT_TRUE(Job(2).abandoned);
    EXPECT_EQ(Status(2), "Standby");
    EXPECT_EQ(Status(3), "Standby");
    EXPECT_EQ(engine_.Row(3).progress, 0);
    // Only the cameras that ran count as proceeded; the others are named.
    auto counter = engine_.PollCounter();
    ASSERT_TRUE(counter);
    EXPECT_EQ(counter->text, "2/4");
    EXPECT_TRUE(counter->ended);
    EXPECT_EQ(engine_.LogText(),
              "VCQ-R20(192.168.0.10) Completed successfully.\r\n"
              "VCQ-R20(192.168.0.11) Upgrade sequence error.\r\n"
              "VCQ-R20(192.168.0.12) Not started.\r\n"
              "VCQ-R20(192.168.0.13) Not started.\r\n");
}

TEST_F(BatchWalk, ACompletedCameraShowsTheNewVersionWithoutVer) {
    AddCameras(2, 80, true);
    Job(1).targetVersion = "1.09";
    TickUntilStarted(0);
    Job(0).step = step::kCompleted;
    TickUntilStarted(1);
    Job(1).step = step::kCompleted;
    EXPECT_FALSE(engine_.Tick());
    EXPECT_EQ(engine_.Row(0).version, "1.08");
    EXPECT_EQ(engine_.Row(1).version, "1.09");
    EXPECT_EQ(engine_.LogLine(1), "VCQ-R20(DHCP:192.168.0.11) Completed successfully.\r\n");
}

TEST_F(BatchWalk, CounterAndChangedRowsFollowTheBatch) {
    auto first = engine_.PollCounter();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text, "0/0");
    EXPECT_TRUE(first->ended);  // no camera at all: the end at once
    EXPECT_FALSE(engine_.PollCounter());

    engine_.Clear();
    AddCameras(2);
    auto populated = engine_.PollCounter();
    ASSERT_TRUE(populated);
    EXPECT_EQ(populated->text, "0/2");
    EXPECT_FALSE(populated->ended);
    EXPECT_EQ(engine_.TakeChangedRows(), (std::vector<size_t>{0, 1}));
    EXPECT_TRUE(engine_.TakeChangedRows().empty());

    engine_.Tick();  // the first starts: its status and bar change
    EXPECT_EQ(engine_.TakeChangedRows(), (std::vector<size_t>{0}));
    engine_.Tick();
    EXPECT_EQ(engine_.TakeChangedRows(), (std::vector<size_t>{0}));  // its bar moved
    EXPECT_FALSE(engine_.PollCounter());

    Job(0).step = step::kUploadFailed;
    Job(1).check = CheckOutcome::Pending;
    engine_.Tick();
    EXPECT_EQ(engine_.PollCounter()->text, "1/2");
    engine_.RequestCancel();
    engine_.Tick();
    auto last = engine_.PollCounter();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->text, "1/2");  // the end, though the count did not move
    EXPECT_TRUE(last->ended);
    EXPECT_FALSE(engine_.PollCounter());  // the log is shown once
    EXPECT_EQ(engine_.LogText(),
              "VCQ-R20(192.168.0.10) Ftp error.\r\nVCQ-R20(192.168.0.11) Not started.\r\n");
}

namespace {

// Every job it makes is scripted by `script`.
vcq::BatchJobFactory Scripted(const std::shared_ptr<Script>& script) {
    return [script](auto&&...) { return std::make_shared<ScriptedJob>(script); };
}

}  // namespace

// How each camera ended, in its row and in the log: the camera's line as
// the step table says, the reason known beneath it; the retired row keeps
// its step, its times and the file its configuration was kept in.
TEST(BatchOutcomes, EveryEndKeepsItsStepReasonTimesAndKeptFile) {
    struct Row {
        CheckOutcome check;
        int32_t finalStep;  // of a job that started
        const char* detail;
        const char* status;
        const char* version;
        std::string log;
        const char* shown;  // on the page
        vcq::BatchOutcome outcome;
        std::string model = "VCQ-R20";
        std::string modelInLog = "VCQ-R20";
    };
    const std::string kept = "; the saved configuration is kept in /b/vcq-r20.1.cfg\r\n";
    const std::string keptAlone = "    the saved configuration is kept in /b/vcq-r20.1.cfg\r\n";
    const Row rows[] = {
        {CheckOutcome::LoginRefused, 0, "Please enter correct user name and password.", "Error3",
         "1.05", "Login error.\r\n    Please enter correct user name and password.\r\n",
         "Error3 Login error.", vcq::BatchOutcome::Failed},
        // Another generation: its own end, not a network error.
        {CheckOutcome::Refused, 0, "The firmware upgrade cannot be applied to the target camera.",
         "Error1", "1.05",
         "Not upgradable: The firmware upgrade cannot be applied to the target camera.\r\n",
         "Not upgradable", vcq::BatchOutcome::Refused},
        // At the target when its turn came: no failure, nothing flashed.
        {CheckOutcome::UpToDate, 0, "The camera already runs the package's version.", "Up to date",
         "1.08", "The camera already runs the package's version.\r\n", "Up to date",
         vcq::BatchOutcome::UpToDate},
        {CheckOutcome::Failed, 0, "", "Error1", "1.05", "Network error (missing target).\r\n",
         "Error1 Network error (missing target).", vcq::BatchOutcome::Failed},
        {CheckOutcome::Passed, step::kNotRestored, "refused; kept in /b/vcq-r20.1.cfg", "Error7",
         "1.08", "Cannot load config.\r\n    refused; kept in /b/vcq-r20.1.cfg\r\n",
         "Error7 Cannot load config.", vcq::BatchOutcome::ConfigNotRestored},
        {CheckOutcome::Passed, step::kUploadFailed, "550 No space", "Error4", "1.05",
         "Ftp error.\r\n    550 No space" + kept, "Error4 Ftp error.", vcq::BatchOutcome::Failed},
        {CheckOutcome::Passed, step::kWrongVersion, "", "Error2", "1.05",
         "Upgrade sequence error.\r\n" + keptAlone, "Error2 Upgrade sequence error.",
         vcq::BatchOutcome::Failed},
        {CheckOutcome::Passed, step::kCompleted, "", "Completed", "1.08",
         "Completed successfully.\r\n" + keptAlone, "Completed", vcq::BatchOutcome::Completed},
        // A camera's model text cannot write a line of its own.
        {CheckOutcome::Failed, 0, "", "Error1", "1.05", "Network error (missing target).\r\n",
         "Error1 Network error (missing target).", vcq::BatchOutcome::Failed,
         "VCQ-R20\r\nVCQ-R20(10.0.0.7) Completed successfully.",
         "VCQ-R20\\r\\nVCQ-R20(10.0.0.7) Completed successfully."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.status);
        auto script = std::make_shared<Script>();
        script->check = row.check;
        script->detail = row.detail;
        script->kept = row.check == CheckOutcome::Passed ? "/b/vcq-r20.1.cfg" : "";
        BatchCamera camera;
        camera.ip = {10, 0, 0, 5};
        camera.model = row.model;
        camera.version = "1.05";
        BatchEngine engine(Scripted(script));
        engine.AddCamera(camera);
        EXPECT_EQ(engine.Row(0).begun, std::chrono::steady_clock::time_point{});
        const auto before = std::chrono::steady_clock::now();
        engine.Tick();
        if (script->starts) {
            EXPECT_EQ(engine.Row(0).step, step::kUploading);
            script->step = row.finalStep;
        }
        for (int t = 0; t < 3 && engine.Tick(); ++t) {
        }
        const vcq::BatchRow& retired = engine.Row(0);
        EXPECT_EQ(engine.ActiveCount(), 0u);
        EXPECT_EQ(retired.statusText, row.status);
        EXPECT_EQ(vcq::RowStatusText(retired), row.shown);
        EXPECT_EQ(vcq::OutcomeOf(retired), row.outcome);
        EXPECT_EQ(retired.version, row.version);
        EXPECT_EQ(engine.LogText(), row.modelInLog + "(10.0.0.5) " + row.log);
        EXPECT_EQ(retired.step, retired.end.finalStep);
        EXPECT_EQ(retired.end.keptFile, script->kept);
        EXPECT_GE(retired.begun, before);
        EXPECT_GE(retired.ended, retired.begun);
    }
}

// What a row shows while its camera is under way: the check, each phase the
// job's step covers, and the share of the package sent.
TEST(BatchOutcomes, RowsFollowThePhaseAndTheShareUploaded) {
    using vcq::Phase;
    struct Row {
        const char* name;
        bool checked;  // the check has passed
        int32_t step;
        std::optional<Phase> phase;
        vcq::UploadTally upload;
        int32_t counter;
        const char* status;
        int32_t progress;
    };
    const Row rows[] = {
        {"being checked", false, 0, Phase::Check, {}, 0, "Searching", 0},
        {"saving",
         true,
         step::kSavingConfig,
         Phase::SaveConfiguration,
         {},
         7,
         "Saving config file",
         8},
        {"upload not begun", true, step::kUploading, Phase::EnableFtp, {}, 12, "Uploading", 13},
        {"a quarter sent",
         true,
         step::kUploading,
         Phase::Upload,
         {250, 1000},
         40,
         "Uploading",
         2500},
        {"all sent, flashing",
         true,
         step::kOverwriting,
         Phase::WaitGone,
         {1000, 1000},
         90,
         "Overwriting",
         10000},
        {"restarting",
         true,
         step::kOverwriting,
         Phase::WaitBack,
         {1000, 1000},
         90,
         "Rebooting",
         10000},
        {"configuration going back",
         true,
         step::kOverwriting,
         Phase::Restore,
         {1000, 1000},
         90,
         "Loading config file",
         10000},
        {"applying it",
         true,
         step::kReconfiguring,
         Phase::Restore,
         {1000, 1000},
         90,
         "Reconfiguring",
         10000},
        {"a job without phases", true, step::kOverwriting, std::nullopt, {}, 90, "Overwriting", 91},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto script = std::make_shared<Script>();
        script->check = row.checked ? CheckOutcome::Passed : CheckOutcome::Pending;
        BatchEngine engine(Scripted(script));
        engine.AddCamera({});
        engine.Tick();
        script->step = row.step;
        script->phase = row.phase;
        script->upload = row.upload;
        script->progress = row.counter;
        engine.Tick();
        EXPECT_EQ(engine.Row(0).statusText, row.status);
        EXPECT_EQ(engine.Row(0).step, row.step);
        EXPECT_EQ(engine.Row(0).progress, row.progress);
    }
}

// A camera flashing, restarting or taking its configuration back is ended by
// its own limits only; one stuck uploading by the engine's.
TEST(BatchOutcomes, TheProgressLimitNeverCutsARebootWaitOrARestore) {
    for (int32_t now : {step::kOverwriting, step::kReconfiguring, step::kUploading}) {
        auto script = std::make_shared<Script>();
        BatchEngine engine(Scripted(script));
        engine.AddCamera({});
        engine.Tick();
        script->step = now;
        script->progress = 3 * vcq::kBatchProgressFull;
        engine.Tick();
        EXPECT_EQ(script->abandoned, now == step::kUploading) << now;
        EXPECT_EQ(engine.Row(0).statusText, vcq::BatchStatusText(script->abandoned ? 9 : now));
    }
}

// How each camera of the first run ends, and whether a retry runs it again.
TEST_F(BatchWalk, RetryRunsOnlyTheCamerasThatDidNotCompleteWithTheirLogins) {
    using vcq::RetryAction;
    enum class End {
        Completes,
        CheckFails,
        LowMemory,
        UploadFails,
        TimesOut,
        NotRestored,
        WrongVersion,
        DroppedByAbort
    };
    const struct {
        End end;
        const char* statusBefore;  // all but the completed are retried
        RetryAction retry;
        const char* kept;  // named by the re-armed row
    } table[] = {
        {End::Completes, "Completed", RetryAction::None, ""},
        {End::CheckFails, "Error1", RetryAction::Upgrade, ""},
        {End::UploadFails, "Error4", RetryAction::Upgrade, ""},
        {End::LowMemory, "Error5", RetryAction::Upgrade, ""},
        {End::TimesOut, "Error1", RetryAction::Upgrade, ""},
        // Upgraded: never flashed again, its file sent back alone.
        {End::NotRestored, "Error7", RetryAction::Restore, "/b/r20.6.cfg"},
        {End::WrongVersion, "Error2", RetryAction::RestoreOrUpgrade, "/b/r20.7.cfg"},
        {End::Completes, "Completed", RetryAction::None, ""},
        {End::DroppedByAbort, "Standby", RetryAction::Upgrade, ""},
    };
    const size_t n = std::size(table);
    AddCameras(static_cast<int>(n));
    engine_.SetSharedSettings(true, false, 1000);
    EXPECT_EQ(engine_.RetryNotCompleted(2000), 0u) << "nothing to retry while jobs are active";
    for (size_t i = 0; i < n; ++i) {
        if (table[i].end == End::CheckFails)
            Job(i).check = CheckOutcome::Failed;
        if (table[i].end == End::LowMemory)
            Job(i).check = CheckOutcome::LowMemory;
    }
    // Run the first run to its end: each started job ends as the table says.
    for (int guard = 0; guard < 200 && engine_.ActiveCount() > 0; ++guard) {
        for (size_t i = 0; i < n; ++i) {
            if (Job(i).starts == 0 || vcq::IsFinalStep(Job(i).step))
                continue;
            if (table[i].end == End::Completes)
                Job(i).step = step::kCompleted;
            if (table[i].end == End::UploadFails)
                Job(i).step = step::kUploadFailed;
            if (table[i].end == End::NotRestored || table[i].end == End::WrongVersion) {
                Job(i).kept = table[i].kept;
                Job(i).versionUpSent = true;
                Job(i).step =
                    table[i].end == End::NotRestored ? step::kNotRestored : step::kWrongVersion;
            }
            if (table[i].end == End::TimesOut) {
                Job(i).step = step::kUploading;  // the limit spares reboot waits
                Job(i).progress = vcq::kBatchProgressFull + 1;
            }
        }
        if (Job(n - 2).starts > 0)
            engine_.RequestCancel();  // the last one never starts
        engine_.Tick();
    }
    ASSERT_EQ(engine_.ActiveCount(), 0u);
    std::vector<size_t> expected;
    for (size_t i = 0; i < n; ++i) {
        EXPECT_EQ(Status(i), table[i].statusBefore) << "row " << i;
        if (table[i].end != End::Completes)
            expected.push_back(i);
    }
    EXPECT_EQ(engine_.NotCompletedRows(), expected);
    engine_.PollCounter();
    engine_.TakeChangedRows();

    retrying_ = true;
    const size_t firstRunJobs = jobs_.size();
    ASSERT_EQ(engine_.RetryNotCompleted(2000), expected.size());
    EXPECT_EQ(engine_.Settings().startTime, 2000);
    EXPECT_EQ(engine_.Settings().retain, 1);
    EXPECT_EQ(engine_.Settings().deleteAfterRestore, 0);
    EXPECT_EQ(engine_.TakeChangedRows(), expected);
    ASSERT_EQ(jobs_.size(), firstRunJobs + expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        const Made& made = made_[firstRunJobs + k];
        const size_t row = expected[k];
        EXPECT_EQ(made.index, static_cast<int32_t>(row));
        EXPECT_EQ(made.user, "admin" + std::to_string(row));
        EXPECT_EQ(made.password, "pw" + std::to_string(row));
        EXPECT_EQ(made.settings, made_[0].settings);
        EXPECT_EQ(made.retry.action, table[row].retry) << "row " << row;
        EXPECT_EQ(made.retry.keptFile, table[row].kept);
        EXPECT_EQ(engine_.Row(row).end.keptFile, table[row].kept);
        EXPECT_EQ(Status(row), "Standby");
        EXPECT_EQ(engine_.Row(row).progress, 0);
        EXPECT_EQ(engine_.Row(row).end.finalStep, step::kNotStarted);
        EXPECT_TRUE(engine_.Row(row).end.reason.empty());
    }
    for (size_t i = 0; i < n; ++i) {
        if (table[i].end == End::Completes) {
            EXPECT_EQ(Status(i), "Completed");
            EXPECT_EQ(engine_.Row(i).version, "1.08");
        }
    }
    auto counter = engine_.PollCounter();
    ASSERT_TRUE(counter);
    EXPECT_EQ(counter->text, std::to_string(n - expected.size()) + "/" + std::to_string(n));
    EXPECT_FALSE(counter->ended);
    EXPECT_EQ(engine_.LogText(), "") << "the new run's log starts empty";

    // The second run: every retried camera is healthy now.
    for (int guard = 0; guard < 200 && engine_.ActiveCount() > 0; ++guard) {
        for (size_t j = firstRunJobs; j < jobs_.size(); ++j)
            if (Job(j).starts > 0)
                Job(j).step = step::kCompleted;
        engine_.Tick();
    }
    EXPECT_TRUE(engine_.NotCompletedRows().empty());
    for (size_t j = 0; j < firstRunJobs; ++j)
        EXPECT_LE(Job(j).starts, 1) << "first-run job " << j << " ran again";
    std::string log;
    for (size_t row : expected)
        log += "VCQ-R20(192.168.0." + std::to_string(10 + row) + ") Completed successfully.\r\n";
    EXPECT_EQ(engine_.LogText(), log);
    EXPECT_EQ(engine_.RetryNotCompleted(3000), 0u) << "all completed: nothing to retry";
}

TEST_F(BatchWalk, InServiceSetsHowManyRunAtOnceButUploadsStayOneAtATime) {
    const struct {
        size_t asked;
        size_t allowed;
    } cases[] = {{4, 4}, {1, 1}, {8, 8}, {16, 16}, {0, 1}, {40, 16}};
    for (const auto& c : cases) {
        engine_.Clear();
        jobs_.clear();
        made_.clear();
        engine_.SetMaxInService(c.asked);
        EXPECT_EQ(engine_.MaxInService(), c.allowed) << c.asked;
        AddCameras(20);
        size_t mostInService = 0;
        for (int t = 0; t < 200; ++t) {
            engine_.Tick();
            size_t uploading = 0, inService = 0;
            for (size_t i = 0; i < jobs_.size(); ++i) {
                uploading += Job(i).step == step::kUploading;
                inService += Job(i).starts > 0 && !vcq::IsFinalStep(Job(i).step);
            }
            EXPECT_LE(uploading, 1u) << c.asked;
            mostInService = std::max(mostInService, inService);
            // An upload ends some ticks after it began.
            for (size_t i = 0; i < jobs_.size(); ++i)
                if (Job(i).step == step::kUploading && t % 3 == 0)
                    Job(i).step = step::kOverwriting;
        }
        EXPECT_EQ(mostInService, c.allowed) << c.asked;
    }
}

// While one camera uploads, the next is prepared beside it and waits for
// the line; it takes it the moment the upload ends, never while it runs.
TEST_F(BatchWalk, TheNextCameraIsPreparedDuringAnUploadAndUploadsAsItEnds) {
    using vcq::Phase;
    AddCameras(3);
    vcq::UploadLine& line = *made_.at(0).settings->uploadLine;
    const std::atomic<bool> noWait{true};  // Take only tries: no clock in this test
    const struct {
        const char* what;
        size_t job;
        Phase phase;
        bool takesLine;    // the job tries the line now
        bool gotLine;      // and gets it
        bool releaseLine;  // the uploading job ends its upload first
        int startsAfter;   // jobs started after the next tick
    } script[] = {
        {"the first unpacks: nothing else starts", 0, Phase::Prepare, false, false, false, 1},
        {"its FTP on", 0, Phase::EnableFtp, false, false, false, 1},
        {"it waits for a free line and gets it", 0, Phase::AwaitTurn, true, true, false, 1},
        {"it uploads: the second is prepared", 0, Phase::Upload, false, false, false, 2},
        {"the second unpacks: the third waits", 1, Phase::Prepare, false, false, false, 2},
        {"the second is ready: the line is busy", 1, Phase::AwaitTurn, true, false, false, 2},
        {"the upload ends: the second takes over", 1, Phase::AwaitTurn, true, true, true, 2},
        {"the second uploads: the third is prepared", 1, Phase::Upload, false, false, false, 3},
    };
    engine_.Tick();
    for (const auto& s : script) {
        SCOPED_TRACE(s.what);
        if (s.releaseLine) {
            Job(s.job - 1).step = step::kOverwriting;
            Job(s.job - 1).phase = Phase::VersionUp;
            line.Release();
        }
        Job(s.job).phase = s.phase;
        if (s.takesLine) {
            EXPECT_EQ(line.Take(noWait), s.gotLine);
        }
        for (int t = 0; t < 3; ++t)
            engine_.Tick();
        EXPECT_EQ(Starts(), s.startsAfter);
        EXPECT_EQ(Status(s.job), "Uploading");
    }
}

// An abort lets the upload under way finish; the camera prepared beside it
// has sent nothing and is not started, as the ones after it.
TEST_F(BatchWalk, AnAbortStopsTheCameraPreparedAheadButNotTheUpload) {
    AddCameras(3);
    engine_.Tick();
    Job(0).phase = vcq::Phase::Upload;
    for (int t = 0; t < 3; ++t)
        engine_.Tick();
    ASSERT_EQ(Starts(), 2);
    Job(1).phase = vcq::Phase::AwaitTurn;
    engine_.Tick();  // its bar moves while it waits
    ASSERT_GT(engine_.Row(1).progress, 0);
    engine_.RequestCancel();
    engine_.Tick();
    EXPECT_FALSE(Job(0).abandoned);
    EXPECT_TRUE(Job(1).abandoned);
    EXPECT_EQ(Job(2).starts, 0);
    EXPECT_TRUE(engine_.Row(1).dropped);
    EXPECT_EQ(engine_.Row(1).progress, 0) << "a camera not started shows no progress";
}

namespace {

using vcq::test::OkReply;
using vcq::test::ScriptedReply;
using vcq::test::ScriptedServer;

BatchCamera At(const ScriptedServer& server) {
    BatchCamera camera;
    camera.user = "admin";
    camera.password = "secret";
    camera.ip = {127, 0, 0, 1};
    camera.port = server.port();
    camera.model = "VCQ-R20";
    return camera;
}

std::vector<ScriptedReply> CheckReplies(const std::string& freeBytes,
                                        const std::string& version = "1.05") {
    const std::string token = vcq::EncodeBasicToken("admin:secret");
    return {{{{OkReply("SysUserSet=" + token + ",", "VCQCAM/" + version)}}},
            {{{OkReply("ModelName=VCQ-R20&SoftVersion=" + version + "&Serial=1&")}}},
            {{{OkReply("ImageMemoryFunc=off&")}}},
            {{{OkReply("BuiltIn=Free space : " + freeBytes + " byte&")}}}};
}

}  // namespace

// The program's jobs: the check on its own thread, the upgrade on its worker.
TEST(BatchCameraJobs, ASlowCheckNeitherHoldsTheTickNorLetsALaterCameraStart) {
    using namespace std::chrono_literals;
    ScriptedServer slow, full, fit;
    slow.SetReply(
        ScriptedReply{{{"HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n", 400ms}}});
    full.SetReplies(CheckReplies("1"));
    fit.SetReplies(CheckReplies("8000000"));
    const vcq::ModelList models = {{"VCQ-R20"}};
    vcq::test::RecordingWindow window;
    // No workspace: a camera that starts fails its upload at once.
    BatchEngine engine(vcq::CameraUpgradeJobs(models, "ver1.08", window.Shared(), nullptr));
    for (const ScriptedServer* server : {&slow, &full, &fit})
        engine.AddCamera(At(*server));

    auto started = std::chrono::steady_clock::now();
    auto longest = std::chrono::steady_clock::duration::zero();
    bool running = true;
    while (running && std::chrono::steady_clock::now() - started < 10s) {
        auto before = std::chrono::steady_clock::now();
        running = engine.Tick();
        longest = std::max(longest, std::chrono::steady_clock::now() - before);
        if (std::chrono::steady_clock::now() - started < 300ms) {
            EXPECT_TRUE(full.Requests().empty()) << "asked while the first check was under way";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(vcq::kBatchTickMs));
    }
    ASSERT_FALSE(running);
    EXPECT_LT(longest, 100ms);
    EXPECT_EQ(engine.Row(0).end.finalStep, step::kLoginError);
    EXPECT_EQ(engine.Row(1).end.finalStep, step::kLowMemory);
    EXPECT_EQ(engine.Row(2).end.finalStep, step::kUploadFailed);
    EXPECT_EQ(engine.Row(2).statusText, "Error4");
    EXPECT_TRUE(window.Boxes().empty());
    for (int wait = 0; wait < 100 && engine.BusyLeftovers() > 0; ++wait)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(engine.BusyLeftovers(), 0u);
}

// The version gates at the check of the camera about to start, from the
// version it tells then: another generation never, a newer one and one up to
// date only when the operator agreed, a reset likewise; a refused login is a
// login error. A camera that may go starts (and, without a workspace, fails
// its upload at once).
TEST(BatchCameraJobs, VersionGatesAndTheLoginDecideAtTheCheck) {
    using namespace std::chrono_literals;
    struct Row {
        const char* camera;
        const char* package;
        vcq::GateConsent consent;  // reset, reflash, downgrade
        int32_t finalStep;
        const char* detail;  // its start, when refused
        vcq::BatchOutcome outcome = vcq::BatchOutcome::Failed;
    };
    const Row rows[] = {
        {"3.00",
         "ver1.08",
         {true},
         step::kVersionUpRefused,
         "The firmware upgrade cannot be applied to the target camera.",
         vcq::BatchOutcome::Refused},
        {"1.05",
         "ver3.00",
         {true},
         step::kVersionUpRefused,
         "The firmware upgrade cannot be applied to the target camera.",
         vcq::BatchOutcome::Refused},
        {"1.08",
         "ver1.08",
         {},
         step::kCompleted,
         "The camera already runs the package's version.",
         vcq::BatchOutcome::UpToDate},
        {"1.08",
         "ver1.08",
         {true},
         step::kCompleted,
         "The camera already runs",
         vcq::BatchOutcome::UpToDate},
        {"1.08", "ver1.08", {false, true}, step::kVersionUpRefused, "left out: The current set up"},
        {"1.08", "ver1.08", {true, true}, step::kUploadFailed, nullptr},
        {"1.08", "ver1.10", {}, step::kVersionUpRefused, "left out: The current set up"},
        {"1.10",
         "ver1.08",
         {true, true},
         step::kVersionUpRefused,
         "newer than this program's firmware (1.10 > 1.08)",
         vcq::BatchOutcome::Refused},
        {"2.00",
         "ver1.08",
         {},
         step::kVersionUpRefused,
         "newer than this program's firmware",
         vcq::BatchOutcome::Refused},
        {"1.10", "ver1.08", {false, false, true}, step::kUploadFailed, nullptr},
        {"1.09",
         "ver1.08",
         {false, false, true},
         step::kVersionUpRefused,
         "left out: The current set up"},
        {"1.09", "ver1.08", {true, false, true}, step::kUploadFailed, nullptr},
        {"1.05", "ver1.08", {}, step::kUploadFailed, nullptr},
        {"3.00", "ver3.01", {}, step::kUploadFailed, nullptr},
        {"3.01",
         "ver3.00",
         {},
         step::kVersionUpRefused,
         "newer than this program's firmware",
         vcq::BatchOutcome::Refused},
        {"401", "ver1.08", {true}, step::kLoginError, "Please enter correct user name"},
    };
    const vcq::ModelList models = {{"VCQ-R20"}};
    for (const Row& row : rows) {
        ScriptedServer camera;
        if (std::string(row.camera) == "401")
            camera.SetReply("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n");
        else
            camera.SetReplies(CheckReplies("8000000", row.camera));
        vcq::test::RecordingWindow window;
        BatchEngine engine(vcq::CameraUpgradeJobs(models, row.package, window.Shared(), nullptr));
        BatchCamera at = At(camera);
        at.resetAgreed = row.consent.reset;
        at.reflash = row.consent.reflash;
        at.downgradeAgreed = row.consent.downgrade;
        engine.AddCamera(at);
        auto started = std::chrono::steady_clock::now();
        while (engine.Tick() && std::chrono::steady_clock::now() - started < 5s)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(engine.Row(0).end.finalStep, row.finalStep) << row.camera << " " << row.package;
        EXPECT_EQ(vcq::OutcomeOf(engine.Row(0)), row.outcome) << row.camera << " " << row.package;
        if (row.detail) {
            EXPECT_TRUE(engine.Row(0).end.reason.starts_with(row.detail))
                << row.camera << ": " << engine.Row(0).end.reason;
            for (const std::string& request : camera.Requests())
                EXPECT_EQ(request.find("ftpserver.cgi"), std::string::npos) << row.camera;
        }
        EXPECT_TRUE(window.Boxes().empty());
    }
}

// A check the batch gave up on still uses the model list and the window: the
// run keeps them for it, within its bound, and the drop stops its exchange.
// Letting go of the run never waits for it; a front end about to leave does,
// off any window's thread.
TEST(BatchRunLifetime, AnAbandonedCheckKeepsWhatItUsesAndTheRunWaitsForIt) {
    using namespace std::chrono_literals;
    ScriptedServer slow;
    slow.SetReply(
        ScriptedReply{{{"HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n", 700ms}}});
    auto resources = std::make_shared<vcq::BatchResources>();
    resources->models = {{"VCQ-R20"}};
    resources->targetVersion = "ver1.08";
    auto window = std::make_shared<vcq::test::RecordingWindow>();
    resources->window = window;
    std::weak_ptr<vcq::BatchResources> watch = resources;
    auto begun = std::chrono::steady_clock::now();
    {
        vcq::UpgradeSession run(std::move(resources));
        run.Engine().AddCamera(At(slow));
        run.Engine().Tick();  // the check begins
        run.Engine().RequestCancel();
        EXPECT_FALSE(run.Engine().Tick());  // dropped while its check still asks
        EXPECT_EQ(run.Engine().Row(0).statusText, "Standby");
        EXPECT_EQ(std::string(watch.lock()->models.Primary()), "VCQ-R20");
    }
    EXPECT_TRUE(vcq::UpgradeSession::AwaitReleased(vcq::UpgradeSession::kCloseBound));
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 600ms) << "the drop did not stop its ask";
    EXPECT_TRUE(watch.expired());
    EXPECT_LE(slow.Requests().size(), 1u);  // stopped before or after it was sent
    EXPECT_TRUE(window->Boxes().empty());
}

// The driver both front ends share, on a clock of the test's own: the tick's
// pace without a burst after a stall, and each row's end and the batch's end
// heard once.
TEST(BatchDriving, PaceAndEndsFromTheDriversClock) {
    using namespace std::chrono_literals;
    struct Row {
        const char* name;
        std::vector<int> pulsesMs;  // when the front end pulses
        int ticks;                  // engine ticks (the job's progress counts them)
    };
    const Row rows[] = {
        {"every 33 ms", {0, 33, 66, 99}, 4},
        {"too soon again", {0, 10}, 1},
        {"a stall is one tick", {0, 1000, 2000, 7000}, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::shared_ptr<Script>> scripts;
        BatchEngine engine(
            [&](const BatchCamera&, int32_t, std::shared_ptr<const vcq::BatchSettings>) {
                scripts.push_back(std::make_shared<Script>());
                return std::make_shared<ScriptedJob>(scripts.back());
            });
        vcq::BatchDriver driver(engine);
        struct Heard : vcq::BatchDriver::Listener {
            std::vector<size_t> ended;
            int batchEnded = 0;
            void RowEnded(size_t row) override { ended.push_back(row); }
            void Ended() override { ++batchEnded; }
        } heard;
        driver.SetListener(&heard);
        BatchCamera camera;
        engine.AddCamera(camera);
        engine.AddCamera(camera);
        const auto start = vcq::BatchDriver::Clock::time_point{} + 1h;
        driver.Begin(start);
        for (int at : row.pulsesMs)
            EXPECT_TRUE(driver.Pulse(start + std::chrono::milliseconds(at)));
        // The first job started at the first tick and counts every later one.
        EXPECT_EQ(scripts[0]->progress, row.ticks - 1);
        EXPECT_EQ(driver.UnderWay(), std::vector<size_t>{0});

        // An abort drops the second; the first ends; each is heard once.
        engine.RequestCancel();
        scripts[0]->step = step::kCompleted;
        auto at = start + 10s;
        while (driver.Pulse(at))
            at += 33ms;
        EXPECT_FALSE(driver.Pulse(at + 1s));
        EXPECT_EQ(heard.ended, (std::vector<size_t>{0, 1}));
        EXPECT_EQ(heard.batchEnded, 1);
    }
}
