// Whole upgrades against a stand-in camera on its real ports 80 and 21.
// These run only inside tests/isolated.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "isolated_env.h"
#include "portable_env.h"
#include "protocol/config_backup.h"
#include "recording_window.h"
#include "simulator.h"
#include "upgrade/batch_engine.h"
#include "upgrade/camera_session.h"
#include "upgrade/camera_upgrade.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using vcq::CameraUpgrade;
using vcq::test::RecordingWindow;
namespace step = vcq::step;
namespace sim = vcq::sim;

namespace {

const vcq::ModelList kModels = {{"VCQ-R20", "VCQ-R20N", "VCQ-R20P"}};
const std::string kToken = vcq::EncodeBasicToken("admin:secret");

class UpgradeFlow : public ::testing::Test {
  protected:
    void SetUp() override {
        VCQ_REQUIRE_ISOLATED_NETWORK();
        scratch_ = fs::temp_directory_path() /
                   ("vcq-flow-" + vcq::test::UniqueTag() + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(scratch_);
        fs::create_directories(scratch_ / "tmp");
        vcq::test::SetEnv("ProgramFiles", (scratch_ / "pf").string());
        workspace_ = std::make_shared<vcq::PackageWorkspace>();
        workspace_->tempFolderOverride = (scratch_ / "tmp").string();
        workspace_->LoadPackage(&window_);
    }
    void TearDown() override {
        if (workspace_)
            workspace_->RemoveAtExit();
        fs::remove_all(scratch_);
        vcq::test::UnsetEnv("ProgramFiles");
    }

    void StartCamera(const std::function<void(sim::CameraConfig&)>& adjust = {}) {
        sim::CameraConfig config;
        config.address = "127.0.0.2";
        config.users = {{"admin", "secret"}};
        config.rebootDowntime = 500ms;
        config.configuration = "camera settings " + std::string(3000, 'x');
        if (adjust)
            adjust(config);
        sim::SimulatorOptions options;
        options.ftp = true;
        simulator_ = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator_->AddCamera(config, &error)) << error;
    }

    std::shared_ptr<CameraUpgrade> MakeUpgrade(bool batch = false,
                                               std::shared_ptr<vcq::WindowPort> owner = nullptr) {
        vcq::JobSettings job = vcq::CameraJob("127.0.0.2", kToken, kModels, "ver1.08");
        job.serial = "123456";
        job.retain = batch && wanted_;
        job.deleteAfterRestore = deleteAfter_;
        job.startTime = when_;
        auto upgrade = std::make_shared<CameraUpgrade>(job, owner ? owner : window_.Shared(),
                                                       batch ? 2 : 0, batch);
        upgrade->SetWorkspace(workspace_);
        vcq::PhaseLimits phases;
        phases.goneAfter = 200ms;  // the stand-in's restart lasts 500 ms
        upgrade->SetPhaseLimits(phases);
        if (batch)
            upgrade->SetProgressCounter(std::make_shared<std::atomic<int32_t>>(0));
        return upgrade;
    }

    // Steps as the owner sees them, polling, until a final step or the timeout.
    std::vector<int32_t> Follow(CameraUpgrade& upgrade, std::chrono::seconds timeout = 30s) {
        std::vector<int32_t> seen;
        auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            int32_t now = upgrade.Step();
            if (seen.empty() || seen.back() != now) {
                seen.push_back(now);
                stepTimes_[now] = std::chrono::steady_clock::now();
            }
            if (vcq::IsFinalStep(now))
                break;
            std::this_thread::sleep_for(5ms);
        }
        upgrade.WaitForWorker(10s);
        return seen;
    }

    // The package's files as the camera names them.
    static std::map<std::string, std::string> PackageOnCamera() {
        std::map<std::string, std::string> files;
        const fs::path tree = VCQ_PACKAGE_TREE;
        for (auto& e : fs::recursive_directory_iterator(tree)) {
            if (!e.is_regular_file())
                continue;
            std::string name = "C:\\" + fs::relative(e.path(), tree).string();
            std::replace(name.begin(), name.end(), '/', '\\');
            std::ifstream in(e.path(), std::ios::binary);
            files[name] = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    }

    bool WorkspaceHoldsOnlyPackageFiles() const {
        for (auto& e : fs::directory_iterator(workspace_->workspacePath))
            if (e.is_directory() || e.path().filename().string().rfind("~vc", 0) != 0)
                return false;
        return true;
    }

    void ExpectRestoredDespiteLinger(std::chrono::milliseconds linger);

    fs::path scratch_;
    RecordingWindow window_;
    std::shared_ptr<vcq::PackageWorkspace> workspace_;
    std::unique_ptr<sim::Simulator> simulator_;
    std::map<int32_t, std::chrono::steady_clock::time_point> stepTimes_;
    bool wanted_ = true, deleteAfter_ = false;
    std::time_t when_ = std::time(nullptr);
};

}  // namespace

TEST_F(UpgradeFlow, WithoutBackupGoesUploadingOverwritingCompleted) {
    StartCamera();
    auto upgrade = MakeUpgrade();
    bool lowMemory = false;
    ASSERT_TRUE(upgrade->CheckPreconditions(lowMemory, nullptr));
    EXPECT_EQ(upgrade->CurrentVersion(), "1.05");
    ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
    EXPECT_EQ(Follow(*upgrade), (std::vector<int32_t>{2, 3, 8}));
    EXPECT_EQ(upgrade->CurrentVersion(), "1.08");
    EXPECT_EQ(simulator_->Ftp(0).flashedVersion, "1.08");
    // A fresh connection for every folder: 7 folders, 8 connections.
    EXPECT_EQ(simulator_->Ftp(0).connections, 8);
    // "C:\" first, into each folder and back out of it, and before every file.
    EXPECT_EQ(simulator_->Ftp(0).folderChanges,
              1 + 2 * 7 + static_cast<int>(PackageOnCamera().size()));
    EXPECT_TRUE(WorkspaceHoldsOnlyPackageFiles());
    EXPECT_TRUE(window_.Boxes().empty());
}

TEST_F(UpgradeFlow, WithBackupRestoresTheConfigurationAboutFourSecondsBeforeTheEnd) {
    StartCamera();
    const std::string settings = simulator_->Config(0).configuration;
    auto upgrade = MakeUpgrade();
    auto backup = std::make_shared<vcq::ConfigBackup>(
        "127.0.0.2", "/home/l4/vcq-r20.cfg", kToken, std::time(nullptr), "VCQ-R20", "123456", true);
    ASSERT_TRUE(backup->Download()) << backup->errorText;
    ASSERT_EQ(upgrade->StartUpgrade(backup), 1);
    EXPECT_EQ(Follow(*upgrade), (std::vector<int32_t>{2, 3, 7, 8}));
    auto restoreToEnd = stepTimes_[8] - stepTimes_[7];
    EXPECT_GT(restoreToEnd, 1800ms);
    EXPECT_LT(restoreToEnd, 3000ms);
    EXPECT_TRUE(backup->restored);
    EXPECT_EQ(simulator_->Config(0).restoredConfiguration, settings);
    EXPECT_EQ(simulator_->Config(0).configuration, settings);
    // Retained without a backup copy: the file goes, its dated folder stays.
    EXPECT_FALSE(fs::exists(backup->localPath));
    EXPECT_TRUE(fs::is_directory(fs::path(backup->localPath).parent_path()));
}

// Old firmware answering for `linger` after the versionup: the upgrade still
// ends restored, and every step is told as it happens, the short ones too.
void UpgradeFlow::ExpectRestoredDespiteLinger(std::chrono::milliseconds linger) {
    StartCamera([&](sim::CameraConfig& c) { c.versionUpLinger = linger; });
    const std::string settings = simulator_->Config(0).configuration;
    auto upgrade = MakeUpgrade();
    bool lowMemory = false;
    ASSERT_TRUE(upgrade->CheckPreconditions(lowMemory, nullptr));
    auto backup =
        std::make_shared<vcq::ConfigBackup>("127.0.0.2", "/home/l4/vcq-r20.cfg", kToken,
                                            std::time(nullptr), "VCQ-R20", "123456", false);
    ASSERT_TRUE(backup->Download()) << backup->errorText;
    std::vector<int32_t> told;
    upgrade->SetStepListener([&](int32_t s) { told.push_back(s); });
    ASSERT_EQ(upgrade->StartUpgrade(backup), 1);
    EXPECT_EQ(Follow(*upgrade).back(), step::kCompleted);
    EXPECT_EQ(told, (std::vector<int32_t>{2, 3, 7, 8}));
    EXPECT_TRUE(backup->restored);
    EXPECT_EQ(simulator_->Config(0).restoredConfiguration, settings);
    EXPECT_EQ(upgrade->FailureDetail(), "");
}

TEST_F(UpgradeFlow, NoLingerEndsRestored) {
    ExpectRestoredDespiteLinger(0ms);
}

TEST_F(UpgradeFlow, OldFirmwareLingering100msStillEndsRestored) {
    ExpectRestoredDespiteLinger(100ms);
}

TEST_F(UpgradeFlow, OldFirmwareLingering2sStillEndsRestored) {
    ExpectRestoredDespiteLinger(2000ms);
}

TEST_F(UpgradeFlow, VersionUpWhoseReplyIsDroppedStillCompletes) {
    for (auto reply : {sim::VersionUpReply::Dropped, sim::VersionUpReply::HalfHead}) {
        StartCamera([&](sim::CameraConfig& c) { c.versionUpReply = reply; });
        auto upgrade = MakeUpgrade();
        ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
        EXPECT_EQ(Follow(*upgrade), (std::vector<int32_t>{2, 3, 8}));
        EXPECT_EQ(simulator_->Ftp(0).flashedVersion, "1.08");
        EXPECT_TRUE(window_.Boxes().empty());
    }
}

TEST_F(UpgradeFlow, RefusedRestoreKeepsTheFileAndSaysWhy) {
    for (auto answer : {sim::RestoreAnswer::Refuse, sim::RestoreAnswer::Cut}) {
        StartCamera([&](sim::CameraConfig& c) { c.restoreAnswer = answer; });
        auto upgrade = MakeUpgrade();
        auto backup =
            std::make_shared<vcq::ConfigBackup>("127.0.0.2", "/home/l4/vcq-r20.cfg", kToken,
                                                std::time(nullptr), "VCQ-R20", "123456", true);
        ASSERT_TRUE(backup->Download()) << backup->errorText;
        ASSERT_EQ(upgrade->StartUpgrade(backup), 1);
        EXPECT_EQ(Follow(*upgrade).back(), step::kCompleted);
        // Retained without a copy, yet the only copy is kept: it did not count.
        EXPECT_FALSE(backup->restored);
        EXPECT_TRUE(fs::is_regular_file(backup->localPath));
        EXPECT_FALSE(upgrade->FailureDetail().empty());
        fs::remove(backup->localPath);
    }
}

TEST_F(UpgradeFlow, RefusedVersionUpLeavesTheWholePackageOnTheCamera) {
    StartCamera([](sim::CameraConfig& c) { c.forcedStatus["POST /command/main.cgi"] = 200; });
    auto upgrade = MakeUpgrade();
    ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
    EXPECT_EQ(Follow(*upgrade).back(), step::kVersionUpRefused);
    auto ftp = simulator_->Ftp(0);
    EXPECT_TRUE(ftp.files == PackageOnCamera());
    // Parents before children, in plan order.
    EXPECT_EQ(ftp.createdFolders,
              (std::vector<std::string>{"C:\\system", "C:\\web", "C:\\web\\home",
                                        "C:\\web\\home\\l3", "C:\\web\\home\\l4",
                                        "C:\\web\\home\\ppcviewer", "C:\\web\\image"}));
    EXPECT_EQ(window_.BoxTexts(),
              (std::vector<std::string>{"VersionUp command Error!", "VersionUp Error!!"}));
}

TEST_F(UpgradeFlow, UploadFailuresEndWithStep12) {
    const std::vector<std::pair<const char*, std::function<void(sim::CameraConfig&)>>> cases = {
        {"FtpServerFunc Error!",
         [](sim::CameraConfig& c) { c.forcedStatus["POST /command/ftpserver.cgi"] = 500; }},
        {"FtpServerUser Error!!", [](sim::CameraConfig& c) { c.ftpEmptyEntries = 10; }},
        {nullptr, [](sim::CameraConfig& c) { c.ftpFailStor = 3; }},
    };
    for (const auto& [message, adjust] : cases) {
        StartCamera(adjust);
        RecordingWindow window;
        auto upgrade = MakeUpgrade(false, window.Shared());
        ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
        EXPECT_EQ(Follow(*upgrade).back(), step::kUploadFailed);
        std::vector<std::string> expected;
        if (message)
            expected.push_back(message);
        expected.push_back("Ftp Error!");
        EXPECT_EQ(window.BoxTexts(), expected);
        EXPECT_EQ(simulator_->RequestCount(0, "POST /command/main.cgi"), 0);  // no versionup
    }
}

TEST_F(UpgradeFlow, RefusedFolderChangeEndsWithStep12AndNoVersionUp) {
    // MKD refused: the folders never exist, and no file may land elsewhere.
    StartCamera([](sim::CameraConfig& c) { c.ftpRefuseMkd = true; });
    auto upgrade = MakeUpgrade();
    ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
    EXPECT_EQ(Follow(*upgrade).back(), step::kUploadFailed);
    EXPECT_TRUE(simulator_->Ftp(0).files.empty());
    EXPECT_EQ(simulator_->RequestCount(0, "POST /command/main.cgi"), 0);
    EXPECT_TRUE(WorkspaceHoldsOnlyPackageFiles());
}

TEST_F(UpgradeFlow, BatchBackupFailureEndsWith14AndUploadsNothing) {
    StartCamera([](sim::CameraConfig& c) { c.forcedStatus["GET /home/l4/vcq-r20.cfg"] = 404; });
    auto upgrade = MakeUpgrade(true);
    ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
    EXPECT_EQ(Follow(*upgrade).back(), step::kBackupFailed);
    EXPECT_EQ(simulator_->Ftp(0).stores, 0);
    EXPECT_EQ(simulator_->RequestCount(0, "POST /command/ftpserver.cgi"), 0);
}

TEST_F(UpgradeFlow, BatchBackupIsRestoredAndDeleted) {
    StartCamera();
    deleteAfter_ = true;
    auto upgrade = MakeUpgrade(true);
    ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
    // StartUpgrade shows 2 at once; the worker may then show 1 before 2 again,
    // too briefly to be seen every time.
    auto seen = Follow(*upgrade);
    std::erase(seen, step::kSavingConfig);
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ(seen, (std::vector<int32_t>{2, 3, 7, 8}));
    EXPECT_EQ(simulator_->RequestCount(0, "GET /home/l4/vcq-r20.cfg"), 1);
    EXPECT_FALSE(upgrade->HoldsBackup());  // the worker's own, gone after the restore
    EXPECT_FALSE(simulator_->Config(0).restoredConfiguration.empty());
    EXPECT_GT(upgrade->ProgressCounter(), 0);
}

// Manual mode's session of one camera let go while its worker waits for a
// camera that never comes back: the session's end does not wait (else this
// hangs for the reboot bound), the worker tells nothing afterwards, and what
// the session held (its workspace's folder) goes once the worker has ended.
TEST_F(UpgradeFlow, LettingGoOfACameraSessionMidUpgradeIsSafe) {
    StartCamera([](sim::CameraConfig& c) { c.afterReboot = sim::AfterReboot::NeverBack; });
    auto resources = std::make_shared<vcq::BatchResources>();
    resources->models = kModels;
    resources->targetVersion = "ver1.08";
    resources->window = window_.Shared();
    resources->workspace = std::make_shared<vcq::PackageWorkspace>();
    resources->workspace->tempFolderOverride = (scratch_ / "tmp").string();
    resources->workspace->LoadPackage(&window_);
    const std::shared_ptr<vcq::PackageWorkspace> workspace = resources->workspace;
    std::atomic<bool> letGo{false}, toldAfterwards{false};
    std::string folder;
    {
        vcq::CameraSession session(std::move(resources), "127.0.0.2", kToken);
        ASSERT_TRUE(session.CheckTask()());
        EXPECT_EQ(session.CurrentVersion(), "1.05");
        ASSERT_TRUE(session.SaveTask(false)());
        session.Job().SetStepListener([&](int32_t) { toldAfterwards = toldAfterwards || letGo; });
        ASSERT_TRUE(session.Start());
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (session.Step() <= step::kUploading && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(5ms);
        ASSERT_EQ(session.Step(), step::kOverwriting);
        folder = workspace->workspacePath;
        letGo = true;
    }
    EXPECT_TRUE(vcq::UpgradeSession::AwaitReleased(20s));
    EXPECT_FALSE(toldAfterwards);
    EXPECT_FALSE(folder.empty() || fs::exists(folder));
}

namespace {

// One unkind camera and what its job must end with. Times are shortened:
// the reboot bound of a row stands for the six minutes.
struct JobRow {
    const char* name;
    std::function<void(sim::CameraConfig&)> camera;
    std::chrono::milliseconds rebootBound;
    bool keepBackup;     // "Backup the current settings": the file stays on purpose
    int32_t finalStep;   // step::kVersionUpRefused for a camera its check refuses
    std::string reason;  // a part of the outcome's reason; empty: no reason at all
    bool kept;           // a configuration file left and named
    bool restored;       // the camera holds its old settings again
    std::string before;  // the version the gates used
};

const JobRow kJobRows[] = {
    {"slow first poll while the old firmware runs",
     [](sim::CameraConfig& c) {
         c.versionUpLinger = 6000ms;
         c.pollStall = 3000ms;
     },
     30s, false, step::kCompleted, "", false, true, "1.05"},
    {"restart hidden in a silent versionup",
     [](sim::CameraConfig& c) { c.versionUpReply = sim::VersionUpReply::Hold; }, 30s, false,
     step::kCompleted, "", false, true, "1.05"},
    {"back late in its bound, then a slow restore",
     [](sim::CameraConfig& c) {
         c.rebootDowntime = 2000ms;
         c.restoreDelay = 2500ms;
     },
     4s, false, step::kCompleted, "", false, true, "1.05"},
    {"header and sysinfo disagreeing",
     [](sim::CameraConfig& c) {
         c.softVersion = "3.00";
         c.serverText = "VCQCAM/web/3.00";
     },
     30s, false, step::kVersionUpRefused, "header \"web/3.00\", sysinfo SoftVersion \"3.00\"",
     false, false, ""},
    {"no header", [](sim::CameraConfig& c) { c.serverText = ""; }, 30s, false, step::kCompleted, "",
     false, true, "1.05"},
    {"a 3xx restore", [](sim::CameraConfig& c) { c.restoreStatus = 302; }, 30s, false,
     step::kCompleted, "redirect (HTTP 302)", true, true, "1.05"},
    {"a refused restore",
     [](sim::CameraConfig& c) { c.restoreAnswer = sim::RestoreAnswer::Refuse; }, 30s, false,
     step::kNotRestored, "refused the configuration", true, false, "1.05"},
    {"model text with CR LF",
     [](sim::CameraConfig& c) {
         c.model = "VCQ-R20\r\nVCQ-R20(127.0.0.7) Completed successfully.";
     },
     30s, false, step::kVersionUpRefused, "VCQ-R20\\r\\nVCQ-R20(127.0.0.7)", false, false, ""},
    {"back with its old version after a restart",
     [](sim::CameraConfig& c) { c.afterReboot = sim::AfterReboot::OldVersion; }, 30s, false,
     step::kWrongVersion, "came back with 1.05, expected 1.08", true, false, "1.05"},
    {"never back", [](sim::CameraConfig& c) { c.afterReboot = sim::AfterReboot::NeverBack; }, 3s,
     false, step::kWrongVersion, "not back with the new version within 3 s", true, false, "1.05"},
    {"reset camera back at its default address",
     [](sim::CameraConfig& c) {
         c.softVersion = "1.09";
         c.resetAddress = "192.168.0.90";
     },
     3s, false, step::kWrongVersion, "comes back at its default address", true, false, "1.09"},
    {"same version never seen restarting",
     [](sim::CameraConfig& c) {
         c.softVersion = "1.08";
         c.versionUpLinger = 60s;
     },
     3s, false, step::kWrongVersion, "never seen restarting", true, false, "1.08"},
    {"same version seen restarting", [](sim::CameraConfig& c) { c.softVersion = "1.08"; }, 30s,
     false, step::kCompleted, "", false, true, "1.08"},
    {"completed, backup kept on purpose", {}, 30s, true, step::kCompleted, "", true, true, "1.05"},
    {"connections cut while the old firmware writes",
     [](sim::CameraConfig& c) {
         c.versionUpLinger = 1500ms;
         c.blip = 2;
     },
     30s, false, step::kCompleted, "", false, true, "1.05"},
    {"header still old after the restart",
     [](sim::CameraConfig& c) { c.serverText = "VCQCAM/1.05"; }, 3s, false, step::kWrongVersion,
     "versions cannot be trusted", true, false, "1.05"},
};

}  // namespace

TEST_F(UpgradeFlow, JobPhasesAgainstUnkindCameras) {
    for (const JobRow& row : kJobRows) {
        SCOPED_TRACE(row.name);
        simulator_.reset();
        StartCamera(row.camera);
        deleteAfter_ = !row.keepBackup;
        auto upgrade = MakeUpgrade(true);
        vcq::ExchangeLimits limits;
        limits.connect = 1s;
        limits.read = 1s;
        limits.total = 5s;
        upgrade->SetExchangeLimits(limits);
        vcq::PhaseLimits phases;
        phases.reboot = row.rebootBound;
        phases.restorePause = 200ms;
        phases.goneAfter = 200ms;  // the stand-in's restart lasts 500 ms
        upgrade->SetPhaseLimits(phases);

        bool lowMemory = false;
        vcq::CameraEnd outcome;
        if (upgrade->CheckPreconditions(lowMemory, nullptr)) {
            ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
            ASSERT_TRUE(upgrade->WaitForWorker(60s));
            outcome = upgrade->Outcome();
        } else {
            outcome.finalStep = step::kVersionUpRefused;
            outcome.reason = upgrade->FailureDetail();
        }
        EXPECT_EQ(outcome.finalStep, row.finalStep);
        if (row.reason.empty()) {
            EXPECT_EQ(outcome.reason, "");
        } else {
            EXPECT_NE(outcome.reason.find(row.reason), std::string::npos) << outcome.reason;
        }
        EXPECT_EQ(outcome.reason.find_first_of("\r\n"), std::string::npos);
        EXPECT_EQ(!outcome.keptFile.empty(), row.kept) << outcome.keptFile;
        if (!outcome.keptFile.empty()) {
            EXPECT_TRUE(fs::is_regular_file(outcome.keptFile));
            if (!row.keepBackup) {  // a file left behind is named where the operator reads
                EXPECT_NE(outcome.reason.find(outcome.keptFile), std::string::npos);
            }
        }
        EXPECT_EQ(!simulator_->Config(0).restoredConfiguration.empty(), row.restored);
        EXPECT_EQ(outcome.restored, row.restored);
        EXPECT_EQ(row.finalStep == step::kVersionUpRefused ? upgrade->CurrentVersion()
                                                           : outcome.versionBefore,
                  row.before);
        EXPECT_LE(simulator_->RequestCount(0, "POST /command/main.cgi"), 1);
    }
}

// A retry's job for a camera the first batch told to flash: it checks the
// camera, then sends the kept file back alone, or upgrades it again only
// when it may and must; another camera's file is never sent. A job to
// upgrade stands for a camera the batch's first identify did not reach: its
// own check reads the serial and version and applies every gate.
TEST_F(UpgradeFlow, ARetrySendsTheKeptFileBackAndFlashesOnlyWhatIsNotAtTheTarget) {
    using vcq::CheckOutcome;
    using vcq::RetryAction;
    const struct {
        const char* what;
        const char* version;  // the camera's now
        const char* fileSerial;
        RetryAction action;
        const char* cameraSetting;  // "" or a fault
        CheckOutcome check;
        int32_t finalStep;  // 0: never started
        int uploads;
        bool restored;   // the kept file (a retry's) is the camera's configuration now
        bool fileStays;  // deleted only once the camera took it
        const char* detail;
    } rows[] = {
        {"at the target", "1.08", "123456", RetryAction::Restore, "", CheckOutcome::Passed,
         step::kCompleted, 0, true, false, ""},
        {"back with another version", "1.08", "123456", RetryAction::RestoreOrUpgrade, "",
         CheckOutcome::Passed, step::kCompleted, 0, true, false, ""},
        {"restore refused again", "1.08", "123456", RetryAction::Restore, "refuse",
         CheckOutcome::Passed, step::kNotRestored, 0, false, true, "kept in"},
        {"another camera's file", "1.08", "654321", RetryAction::Restore, "", CheckOutcome::Failed,
         0, 0, false, true, "was not saved from this camera"},
        {"upgraded but not at the target", "1.05", "123456", RetryAction::Restore, "",
         CheckOutcome::Failed, 0, 0, false, true, "reports 1.05, not 1.08"},
        {"never flashed after all", "1.05", "123456", RetryAction::RestoreOrUpgrade, "",
         CheckOutcome::Passed, step::kCompleted, 1, true, false, ""},
        {"login refused", "1.08", "123456", RetryAction::Restore, "login",
         CheckOutcome::LoginRefused, 0, 0, false, true, ""},
        {"file gone", "1.08", "", RetryAction::Restore, "", CheckOutcome::Failed, 0, 0, false,
         false, "no saved configuration"},
        {"still writing the first flash", "1.05", "123456", RetryAction::RestoreOrUpgrade,
         "flashing", CheckOutcome::Passed, step::kCompleted, 0, true, false, ""},
        {"unseen, at the target", "1.08", "", RetryAction::Upgrade, "", CheckOutcome::UpToDate, 0,
         0, false, false, "already runs the package's version"},
        {"unseen, at the target, reset agreed", "1.08", "", RetryAction::Upgrade, "agreed",
         CheckOutcome::UpToDate, 0, 0, false, false, "already runs"},
        {"unseen, its serial names its file", "1.05", "", RetryAction::Upgrade, "refuse",
         CheckOutcome::Passed, step::kNotRestored, 1, false, false, "vcq-r20.123456.cfg"},
        {"unseen, no serial told", "1.05", "", RetryAction::Upgrade, "noserial",
         CheckOutcome::Failed, 0, 0, false, false, "serial cannot be read"},
        {"newer", "1.10", "", RetryAction::Upgrade, "", CheckOutcome::Refused, 0, 0, false, false,
         "newer than this program's firmware (1.10 > 1.08)"},
        {"newer, downgrade agreed", "1.10", "", RetryAction::Upgrade, "downgrade",
         CheckOutcome::Passed, step::kCompleted, 1, true, false, ""},
    };
    deleteAfter_ = true;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        simulator_.reset();
        StartCamera([&](sim::CameraConfig& c) {
            c.softVersion = row.version;
            c.serial = "123456";
            if (std::string(row.cameraSetting) == "refuse")
                c.restoreAnswer = sim::RestoreAnswer::Refuse;
            if (std::string(row.cameraSetting) == "login")
                c.users = {{"admin", "changed"}};
            if (std::string(row.cameraSetting) == "flashing") {
                c.versionUpLinger = 1500ms;
                c.versionAfterUpgrade = "1.08";
            }
            if (std::string(row.cameraSetting) == "noserial")
                c.serial.clear();
        });
        // The first batch's flash, still being written when the retry begins.
        std::time_t flashedAt = 0;
        if (std::string(row.cameraSetting) == "flashing") {
            vcq::CgiClient client("127.0.0.2");
            client.Exchange(
                vcq::BuildCgiRequest("/command/main.cgi", "127.0.0.2", kToken, "System=versionup"));
            flashedAt = std::time(nullptr);
        }
        // The file the first batch kept, where it kept it.
        std::string kept;
        if (*row.fileSerial) {
            kept = vcq::BackupFilePath(when_ - 600, "VCQ-R20", row.fileSerial);
            ASSERT_TRUE(vcq::MakeFolders(kept));
            std::ofstream(fs::path(kept), std::ios::binary) << "operator settings";
        }
        vcq::BatchCamera camera;
        camera.ip = {127, 0, 0, 2};
        camera.user = "admin";
        camera.password = "secret";
        const bool upgrade = row.action == RetryAction::Upgrade;
        camera.serial = upgrade ? "" : "123456";
        camera.resetAgreed = std::string(row.cameraSetting) == "agreed";
        camera.downgradeAgreed = std::string(row.cameraSetting) == "downgrade";
        camera.retry = {row.action, kept, flashedAt, "1.05"};
        auto settings = std::make_shared<vcq::BatchSettings>();
        settings->startTime = when_;
        auto job = vcq::CameraUpgradeJobs(kModels, "ver1.08", window_.Shared(), workspace_)(
            camera, 2, settings);
        job->BeginCheck();
        CheckOutcome check = CheckOutcome::Pending;
        for (int i = 0; i < 3000 && check == CheckOutcome::Pending; ++i) {
            std::this_thread::sleep_for(10ms);
            check = job->PollCheck();
        }
        EXPECT_EQ(check, row.check);
        int32_t finalStep = 0;
        if (check == CheckOutcome::Passed) {
            job->Start();
            for (int i = 0; i < 3000 && !vcq::IsFinalStep(job->Step()); ++i)
                std::this_thread::sleep_for(10ms);
            finalStep = job->Step();
            for (int i = 0; i < 1000 && job->Busy(); ++i)
                std::this_thread::sleep_for(10ms);
        }
        EXPECT_EQ(finalStep, row.finalStep);
        EXPECT_EQ(simulator_->RequestCount(0, "POST /command/ftpserver.cgi"), row.uploads);
        EXPECT_EQ(simulator_->RequestCount(0, "POST /command/main.cgi"),
                  row.uploads + (std::string(row.cameraSetting) == "flashing"));
        const std::string restored = simulator_->Config(0).restoredConfiguration;
        EXPECT_EQ(!restored.empty(), row.restored);
        if (row.restored && !upgrade) {
            EXPECT_EQ(restored, "operator settings");
        }
        EXPECT_EQ(!kept.empty() && fs::exists(fs::path(kept)), row.fileStays);
        // Named until the camera took it, and checked first by a later retry.
        const vcq::CameraEnd end = job->End();
        if (!upgrade) {
            EXPECT_EQ(end.keptFile, row.fileStays ? kept : "");
        }
        EXPECT_EQ(end.flashed, !upgrade || row.uploads > 0);
        EXPECT_NE(end.reason.find(row.detail), std::string::npos) << end.reason;
        // Every camera here answers: none ends as one that did not.
        EXPECT_NE(end.checkReason, vcq::ReasonCode::NoConnection);
    }
}
