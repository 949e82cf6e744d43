// Configuration backup and restore against the stand-in camera on its real
// port 80 (and a custom port). These run only inside tests/isolated.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "backup_folder.h"
#include "command_line.h"
#include "isolated_env.h"
#include "platform/system.h"
#include "protocol/cgi_client.h"
#include "protocol/config_backup.h"
#include "restore_request.h"
#include "simulator.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using vcq::CgiClient;
using vcq::ConfigBackup;
namespace sim = vcq::sim;
using vcq::test::Pattern;
using vcq::test::ReadFile;

namespace {

const std::string kToken = vcq::EncodeBasicToken("admin:secret");

class CameraConfiguration : public ::testing::Test {
  protected:
    void SetUp() override { VCQ_REQUIRE_ISOLATED_NETWORK(); }

    // Camera 0 on 127.0.0.2:80, camera 1 on 127.0.0.2:8080.
    void StartCameras(const std::function<void(sim::CameraConfig&)>& adjust = {}) {
        simulator_ = std::make_unique<sim::Simulator>();
        for (uint16_t port : {80, 8080}) {
            sim::CameraConfig config;
            config.address = "127.0.0.2";
            config.httpPort = port;
            config.users = {{"admin", "secret"}};
            config.serial = "123456";
            if (adjust)
                adjust(config);
            std::string error;
            ASSERT_TRUE(simulator_->AddCamera(config, &error)) << error;
        }
    }

    std::unique_ptr<ConfigBackup> MakeBackup(const std::string& host, std::time_t when,
                                             bool deleteAfter = false) {
        return std::make_unique<ConfigBackup>(host, vcq::ConfigCameraPath("VCQ-R20"), kToken, when,
                                              "VCQ-R20", "123456", deleteAfter);
    }

    std::vector<fs::path> FilesBelow() const { return folder_.FilesBelow(); }

    vcq::test::ScopedBackupFolder folder_{"vcq-camera-config"};
    const fs::path& root_ = folder_.root();
    std::unique_ptr<sim::Simulator> simulator_;
};

}  // namespace

TEST_F(CameraConfiguration, BackupIsTheCamerasFileInAFolderNamedAfterTheMinute) {
    StartCameras();
    const std::time_t when = std::time(nullptr);
    char minute[16];
    std::tm local{};
    vcq::sys::LocalTime(when, local);
    std::strftime(minute, sizeof minute, "%y%m%d%H%M", &local);
    const fs::path folder = root_ / "TEZO" / "VCQ FirmwareUpgrade" / "Configurations" / minute;

    for (size_t camera : {0, 1}) {
        // The stand-in's own file holds every byte value.
        const std::string settings =
            "settings of " + std::to_string(camera) + "\r\n" + Pattern(3000);
        simulator_->Update(camera, [&](sim::CameraConfig& c) { c.configuration = settings; });
        auto backup = MakeBackup(simulator_->HostText(camera), when);
        ASSERT_TRUE(backup->Download()) << backup->errorText;
        // Both report one serial: the second is kept beside the first.
        EXPECT_EQ(fs::path(backup->localPath),
                  folder / (camera == 0 ? "vcq-r20.123456.cfg" : "vcq-r20.123456-2.cfg"));
        EXPECT_EQ(backup->byteCount, settings.size());
        EXPECT_TRUE(ReadFile(backup->localPath) == settings);
        EXPECT_EQ(simulator_->RequestCount(camera, "GET /home/l4/vcq-r20.cfg"), 1);
    }
    EXPECT_EQ(FilesBelow().size(), 2u);
}

TEST_F(CameraConfiguration, PageOrRefusalInsteadOfTheFileLeavesNoBackup) {
    const std::function<void(sim::CameraConfig&)> answers[] = {
        [](sim::CameraConfig& c) { c.configurationAsHtml = true; },
        [](sim::CameraConfig& c) { c.configurationLoginPage = true; },
        [](sim::CameraConfig& c) { c.forcedStatus["GET /home/l4/vcq-r20.cfg"] = 404; },
        [](sim::CameraConfig& c) { c.forcedStatus["GET /home/l4/vcq-r20.cfg"] = 500; },
        [](sim::CameraConfig& c) {
            c.users = {{"admin", "changed"}};
        },  // 401
    };
    for (size_t i = 0; i < std::size(answers); ++i) {
        StartCameras(answers[i]);
        auto backup = MakeBackup("127.0.0.2", std::time(nullptr));
        EXPECT_FALSE(backup->Download()) << i;
        EXPECT_TRUE(FilesBelow().empty()) << i;
        EXPECT_EQ(simulator_->RequestCount(0, "GET /home/l4/vcq-r20.cfg"), 1) << i;
    }
}

TEST_F(CameraConfiguration, RestoreArrivesIntactInEthernetSizedPieces) {
    StartCameras([](sim::CameraConfig& c) { c.users = {{"operator", "changed"}}; });
    const std::string settings = Pattern(2920);
    for (size_t camera : {0, 1}) {
        const std::string host = simulator_->HostText(camera);
        CgiClient client(host);
        client.SetRestoreData(settings.data(), static_cast<uint32_t>(settings.size()));
        ASSERT_EQ(client.RestoreConfiguration(), 0) << host;
        ASSERT_EQ(client.restoreWrites().size(), 5u);
        EXPECT_EQ(client.restoreWrites()[1], 1460u);
        EXPECT_EQ(client.restoreWrites()[2], 1460u);
        EXPECT_EQ(client.restoreWrites()[3], 0u);
        // The camera took it with its factory login and nothing else.
        EXPECT_TRUE(simulator_->Config(camera).restoredConfiguration == settings) << host;
        EXPECT_EQ(simulator_->RequestCount(camera, "POST /command/all-configuration.cgi"), 1);
        EXPECT_EQ(simulator_->RequestCount(1 - camera, "POST /command/all-configuration.cgi"),
                  camera == 0 ? 0 : 1);

        auto form = vcq::test::CheckRestoreRequest(simulator_->LastRequest(camera), host, settings);
        EXPECT_EQ(client.restoreWrites()[0], form.head.size());
        EXPECT_EQ(client.restoreWrites()[4], form.tail.size());
    }
}

TEST_F(CameraConfiguration, SavedFileGoesBackAndIsDeletedOnlyWhenWanted) {
    StartCameras();
    for (bool deleteAfter : {false, true}) {
        auto backup = MakeBackup("127.0.0.2", std::time(nullptr), deleteAfter);
        ASSERT_TRUE(backup->Download()) << backup->errorText;
        const std::string saved = ReadFile(backup->localPath);
        ASSERT_FALSE(saved.empty());
        // The upgrade resets the camera to its factory settings.
        simulator_->Update(0, [](sim::CameraConfig& c) { c.configuration = "factory"; });

        std::vector<char> buffer;
        ASSERT_TRUE(backup->ReadBack(buffer));
        CgiClient client("127.0.0.2");
        client.SetRestoreData(buffer.data(), static_cast<uint32_t>(buffer.size()));
        ASSERT_EQ(client.RestoreConfiguration(), 0);
        backup->DeleteFileIfWanted();
        EXPECT_TRUE(simulator_->Config(0).configuration == saved);
        EXPECT_EQ(fs::exists(backup->localPath), !deleteAfter);
        EXPECT_TRUE(fs::is_directory(fs::path(backup->localPath).parent_path()));
        if (!deleteAfter)
            fs::remove(backup->localPath);
    }
}

// However the camera marks the end of its file, a whole one is a backup and
// a cut, oversized or HTML one is not.
TEST_F(CameraConfiguration, DownloadIsWholeOnlyWhenItsEndIsClear) {
    const std::string settings = "settings\r\n" + Pattern(5000);
    const std::string overCap(8u * 1024 * 1024 + 1, 'c');
    struct Row {
        std::string setting;  // as the stand-in's command line takes it
        std::string file;
        bool backup;
    };
    const Row rows[] = {
        {"config-end=length", settings, true},
        {"config-end=chunked", settings, true},
        {"config-end=close", settings, true},
        {"config-end=reset:3000", settings, false},
        {"config-end=stall:3000", settings, false},
        // All of it, then a reset instead of a close.
        {"config-end=reset:" + std::to_string(settings.size()), settings, false},
        {"config-end=close", overCap, false},
        {"config-end=length", overCap, false},
        {"config-end=close", "<html><body>busy</body></html>", false},
    };
    for (const Row& row : rows) {
        StartCameras([&](sim::CameraConfig& c) {
            std::string error;
            ASSERT_TRUE(sim::ApplyCameraSettings(row.setting, c, error)) << error;
            c.configuration = row.file;
        });
        auto backup = MakeBackup("127.0.0.2", std::time(nullptr));
        // libcurl notices a stall only after several seconds: a silent camera
        // meets the bound of the whole download first.
        if (row.setting.starts_with("config-end=stall"))
            backup->SetTransferLimits({2000ms, 1000ms, 2000ms});
        const std::string name = row.setting + " of " + std::to_string(row.file.size());
        EXPECT_EQ(backup->Download(), row.backup) << name << ": " << backup->errorText;
        auto files = FilesBelow();
        if (row.backup) {
            EXPECT_TRUE(ReadFile(backup->localPath) == row.file) << name;
            EXPECT_EQ(backup->byteCount, row.file.size()) << name;
            for (const auto& file : files)
                fs::remove(file);
        } else {
            EXPECT_TRUE(files.empty()) << name;
            EXPECT_FALSE(backup->errorText.empty()) << name;
        }
    }
}

// A web form's redirect is a yes; a refusal or a cut reply keeps the file.
TEST_F(CameraConfiguration, RestoreCountsTwoAndThreeHundredsAsTaken) {
    struct Row {
        std::string setting;  // as the stand-in's command line takes it
        int result;
    };
    const Row rows[] = {
        {"restore=200", 0},  {"restore=204", 0},  {"restore=302", 0},
        {"restore=401", -3}, {"restore=500", -3}, {"restore=cut", -2},
    };
    const std::string settings = Pattern(3000);
    for (const Row& row : rows) {
        StartCameras([&](sim::CameraConfig& c) {
            std::string error;
            ASSERT_TRUE(sim::ApplyCameraSettings(row.setting, c, error)) << error;
        });
        CgiClient client("127.0.0.2");
        client.SetRestoreData(settings.data(), static_cast<uint32_t>(settings.size()));
        EXPECT_EQ(client.RestoreConfiguration(), row.result) << row.setting;
        EXPECT_EQ(client.restoreError().empty(), row.result == 0) << client.restoreError();
        // What the camera did agrees with what we concluded.
        EXPECT_EQ(simulator_->Config(0).restoredConfiguration == settings, row.result == 0)
            << row.setting;
    }
}
