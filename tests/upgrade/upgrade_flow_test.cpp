// Whole upgrades against a stand-in camera on its real ports 80 and 21.
// These run only inside tests/isolated.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "isolated_env.h"
#include "portable_env.h"
#include "recording_window.h"
#include "simulator.h"
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
        config.rebootDowntime = 300ms;
        config.configuration = "camera settings " + std::string(3000, 'x');
        if (adjust)
            adjust(config);
        sim::SimulatorOptions options;
        options.ftp = true;
        simulator_ = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator_->AddCamera(config, &error)) << error;
    }

    std::shared_ptr<CameraUpgrade> MakeUpgrade(bool batch = false) {
        auto upgrade = std::make_shared<CameraUpgrade>(
            "127.0.0.2", &kModels, kToken, "ver1.08", "123456", batch ? &wanted_ : nullptr,
            batch ? &deleteAfter_ : nullptr, batch ? &when_ : nullptr, &window_, batch ? 2 : 0,
            batch);
        upgrade->workspace = workspace_;
        if (batch)
            upgrade->progressCounter = std::make_shared<std::atomic<int32_t>>(0);
        return upgrade;
    }

    // Steps as the owner sees them, polling, until a final step or the timeout.
    std::vector<int32_t> Follow(CameraUpgrade& upgrade, std::chrono::seconds timeout = 30s) {
        std::vector<int32_t> seen;
        auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            int32_t now = upgrade.step;
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
    int32_t wanted_ = 1, deleteAfter_ = 0;
    std::time_t when_ = std::time(nullptr);
};

}  // namespace

TEST_F(UpgradeFlow, WithoutBackupGoesUploadingOverwritingCompleted) {
    StartCamera();
    auto upgrade = MakeUpgrade();
    bool lowMemory = false;
    ASSERT_TRUE(upgrade->CheckPreconditions(lowMemory, nullptr));
    EXPECT_EQ(upgrade->currentVersion, "1.05");
    ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
    EXPECT_EQ(Follow(*upgrade), (std::vector<int32_t>{2, 3, 8}));
    EXPECT_EQ(upgrade->currentVersion, "1.08");
    EXPECT_EQ(simulator_->Ftp(0).flashedVersion, "1.08");
    // A fresh connection for every folder: 7 folders, 8 connections.
    EXPECT_EQ(simulator_->Ftp(0).connections, 8);
    EXPECT_TRUE(WorkspaceHoldsOnlyPackageFiles());
    EXPECT_TRUE(window_.Boxes().empty());
    EXPECT_EQ(window_.TimerStarts(upgrade->TimerId()), 1);
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
        auto upgrade = MakeUpgrade();
        upgrade->owner = &window;
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

TEST_F(UpgradeFlow, CameraBackWithItsOldVersionEndsWithStep10) {
    StartCamera([](sim::CameraConfig& c) { c.afterReboot = sim::AfterReboot::OldVersion; });
    auto upgrade = MakeUpgrade();
    ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
    EXPECT_EQ(Follow(*upgrade), (std::vector<int32_t>{2, 3, 10}));
    EXPECT_EQ(upgrade->currentVersion, "1.05");
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
    auto upgrade = MakeUpgrade(true);
    deleteAfter_ = 1;
    ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
    // StartUpgrade shows 2 at once; the worker may then show 1 before 2 again,
    // too briefly to be seen every time.
    auto seen = Follow(*upgrade);
    std::erase(seen, step::kSavingConfig);
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ(seen, (std::vector<int32_t>{2, 3, 7, 8}));
    EXPECT_EQ(simulator_->RequestCount(0, "GET /home/l4/vcq-r20.cfg"), 1);
    EXPECT_EQ(upgrade->backup, nullptr);  // the worker's own, gone after the restore
    EXPECT_FALSE(simulator_->Config(0).restoredConfiguration.empty());
    EXPECT_GT(*upgrade->progressCounter, 0);
}

TEST_F(UpgradeFlow, CameraThatNeverComesBackIsEndedByTheTickLimit) {
    for (bool batch : {false, true}) {
        StartCamera([](sim::CameraConfig& c) { c.afterReboot = sim::AfterReboot::NeverBack; });
        RecordingWindow window;
        auto upgrade = MakeUpgrade(batch);
        upgrade->owner = &window;
        ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
        auto end = std::chrono::steady_clock::now() + 20s;
        while (upgrade->step != step::kOverwriting && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(5ms);
        ASSERT_EQ(upgrade->step, step::kOverwriting);
        for (int i = 0; i < 361; ++i)
            upgrade->OnTick(upgrade->TimerId());
        EXPECT_EQ(upgrade->step, batch ? step::kWrongVersion : step::kOverwriting);
        // The worker notices and ends; it writes nothing afterwards.
        EXPECT_TRUE(upgrade->WaitForWorker(10s));
        EXPECT_EQ(upgrade->step, batch ? step::kWrongVersion : step::kOverwriting);
        if (!batch) {
            EXPECT_EQ(window.BoxTexts(), std::vector<std::string>{"Version up error."});
        }
    }
}

TEST_F(UpgradeFlow, OwnerLettingGoOfARunningUpgradeIsSafe) {
    StartCamera([](sim::CameraConfig& c) { c.afterReboot = sim::AfterReboot::NeverBack; });
    std::weak_ptr<CameraUpgrade> watch;
    std::atomic<bool> abandoned{false}, toldAfterwards{false};
    {
        auto upgrade = MakeUpgrade();
        upgrade->SetStepListener([&](int32_t) { toldAfterwards = toldAfterwards || abandoned; });
        watch = upgrade;
        ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
        while (upgrade->step == step::kUploading)
            std::this_thread::sleep_for(5ms);
        upgrade->Abandon();
        abandoned = true;
    }  // the owner's reference is gone while the worker still waits
    auto end = std::chrono::steady_clock::now() + 10s;
    while (!watch.expired() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(toldAfterwards);
}
