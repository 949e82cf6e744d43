#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "backup_folder.h"
#include "platform/files.h"
#include "protocol/cgi_client.h"
#include "protocol/config_backup.h"
#include "restore_request.h"
#include "scripted_server.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using vcq::CgiClient;
using vcq::ConfigBackup;
using vcq::test::OkReply;
using vcq::test::Pattern;
using vcq::test::ReadFile;
using vcq::test::ScriptedReply;
using vcq::test::ScriptedServer;

namespace {

// Points ProgramFiles at a fresh folder for the test's backups.
class BackupFolder : public ::testing::Test {
  protected:
    std::vector<fs::path> FilesBelow() const { return folder_.FilesBelow(); }
    vcq::test::ScopedBackupFolder folder_{"vcq-config-test"};
    const fs::path& root_ = folder_.root();
};

std::string HeaderValue(const std::string& request, const std::string& name) {
    size_t at = request.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return "<missing>";
    at += name.size() + 4;
    return request.substr(at, request.find("\r\n", at) - at);
}

}  // namespace

TEST_F(BackupFolder, FileIsNamedAfterModelSerialAndMinute) {
    std::tm when{};
    when.tm_year = 126;
    when.tm_mon = 11;
    when.tm_mday = 7;
    when.tm_hour = 9;
    when.tm_min = 5;
    when.tm_isdst = -1;
    std::time_t stamp = std::mktime(&when);
    EXPECT_EQ(vcq::BackupFilePath(stamp, "VCQ-R20", "123456"),
              (root_ / "TEZO" / "VCQ FirmwareUpgrade" / "Configurations" / "2612070905" /
               "vcq-r20.123456.cfg")
                  .string());
    EXPECT_EQ(vcq::ConfigCameraPath("VCQ-R20N"), "/home/l4/vcq-r20n.cfg");

    // Without ProgramFiles: the user's own data folder, never the current one.
    vcq::test::UnsetEnv("ProgramFiles");
#ifdef _WIN32
    EXPECT_EQ(vcq::ConfigurationsFolder(), vcq::UserConfigurationsFolder());
#else
    vcq::test::SetEnv("XDG_DATA_HOME", root_.string());
    EXPECT_EQ(vcq::ConfigurationsFolder(),
              (root_ / "TEZO" / "VCQ FirmwareUpgrade" / "Configurations").string() +
                  vcq::files::kPathSeparator);
    vcq::test::UnsetEnv("XDG_DATA_HOME");
#endif
}

TEST_F(BackupFolder, MakeFoldersCreatesWhatIsMissingUpToNineteenLevels) {
    std::string deep = root_.string();
    // The temporary folder's own levels count too, with either separator.
    auto levels = [&] {
        return std::count_if(deep.begin(), deep.end(),
                             [](char c) { return c == '/' || c == fs::path::preferred_separator; });
    };
    while (levels() < 18)
        deep += "/d";
    EXPECT_TRUE(vcq::MakeFolders(deep + "/file.cfg"));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(vcq::MakeFolders(deep + "/file.cfg"));  // all there already
    EXPECT_FALSE(vcq::MakeFolders(deep + "/e/file.cfg"));
    EXPECT_FALSE(fs::exists(deep + "/e"));
}

TEST_F(BackupFolder, DownloadSavesTheConfigurationWhole) {
    ScriptedServer server;
    std::string config = Pattern(5000);
    std::string whole = OkReply(config);
    // Arrives in odd pieces; each is checked and written in 512-byte chunks.
    server.SetReply(ScriptedReply{{{whole.substr(0, 700)}, {whole.substr(700), 20ms}}});
    ConfigBackup backup(server.hostText(), "/home/l4/vcq-r20.cfg", "dG9rZW4=", std::time(nullptr),
                        "VCQ-R20", "123456", false);
    ASSERT_TRUE(backup.Download()) << backup.errorText;
    EXPECT_EQ(backup.byteCount, 5000u);
    EXPECT_TRUE(ReadFile(backup.localPath) == config);
    EXPECT_EQ(FilesBelow().size(), 1u);

    auto request = server.Requests().at(0);
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /home/l4/vcq-r20.cfg HTTP/1.1");
    EXPECT_EQ(HeaderValue(request, "Authorization"), "Basic dG9rZW4=");
    EXPECT_EQ(HeaderValue(request, "Cache-Control"), "no-cache");

    std::vector<char> buffer;
    ASSERT_TRUE(backup.ReadBack(buffer));
    EXPECT_TRUE(std::string(buffer.begin(), buffer.end()) == config);
}

TEST_F(BackupFolder, PagesErrorsAndBrokenTransfersLeaveNoBackup) {
    ScriptedServer server;
    std::string page = "<HTML><BODY>Login</BODY></HTML>";
    std::string longPage = std::string(1000, 'x') + page;
    std::string cut = OkReply(Pattern(3000));
    server.SetReplies({
        {{{OkReply(page)}}},
        {{{OkReply(longPage)}}},
        {{{"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"}}},
        {{{"HTTP/1.1 401 Unauthorized\r\nContent-Length: 4\r\n\r\nnope"}}},
        {{{cut.substr(0, cut.size() - 500)}}},
    });
    for (int i = 0; i < 5; ++i) {
        ConfigBackup backup(server.hostText(), "/home/l4/vcq-r20.cfg", "t", std::time(nullptr),
                            "VCQ-R20", "1", false);
        EXPECT_FALSE(backup.Download()) << i;
        EXPECT_TRUE(FilesBelow().empty()) << i;
    }
    uint16_t closedPort;
    {
        ScriptedServer gone;
        closedPort = gone.port();
    }
    ConfigBackup refused("127.0.0.1:" + std::to_string(closedPort), "/home/l4/vcq-r20.cfg", "t",
                         std::time(nullptr), "VCQ-R20", "1", false);
    EXPECT_FALSE(refused.Download());
    EXPECT_FALSE(refused.errorText.empty());
    EXPECT_LE(refused.errorText.size(), 254u);
    EXPECT_TRUE(FilesBelow().empty());
}

TEST_F(BackupFolder, LoginPagesEmptyCutAndOversizedConfigurationsAreNoBackup) {
    ScriptedServer server;
    const std::string login =
        "<!DOCTYPE html><html><head><title>Login</title></head><body></body></html>";
    std::string straddling = Pattern(510) + "<hTmL>";  // the tag crosses a 512-byte chunk
    std::string huge = OkReply(std::string(8u * 1024 * 1024 + 1, 'c'));
    server.SetReplies({
        {{{OkReply(login)}}},
        {{{OkReply(straddling)}}},
        {{{OkReply("")}}},
        {{{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"}}},  // no length, and empty
        {{{huge}}},
    });
    for (int i = 0; i < 5; ++i) {
        ConfigBackup backup(server.hostText(), "/home/l4/vcq-r20.cfg", "t", std::time(nullptr),
                            "VCQ-R20", "1", false);
        EXPECT_FALSE(backup.Download()) << i;
        EXPECT_FALSE(backup.errorText.empty()) << i;
        EXPECT_TRUE(FilesBelow().empty()) << i;
    }
}

TEST_F(BackupFolder, TwoBackupsInOneMinuteAreBothKept) {
    ScriptedServer server;
    server.SetReplies({{{{OkReply("first")}}}, {{{OkReply("second")}}}});
    const std::time_t now = std::time(nullptr);
    ConfigBackup first(server.hostText(), "/home/l4/vcq-r20.cfg", "t", now, "VCQ-R20", "123456",
                       false);
    ConfigBackup second(server.hostText(), "/home/l4/vcq-r20.cfg", "t", now, "VCQ-R20", "123456",
                        false);
    ASSERT_TRUE(first.Download()) << first.errorText;
    ASSERT_TRUE(second.Download()) << second.errorText;
    EXPECT_EQ(fs::path(first.localPath).filename(), "vcq-r20.123456.cfg");
    EXPECT_EQ(fs::path(second.localPath).filename(), "vcq-r20.123456-2.cfg");
    EXPECT_EQ(ReadFile(first.localPath), "first");
    EXPECT_EQ(ReadFile(second.localPath), "second");
    EXPECT_EQ(FilesBelow().size(), 2u);
}

TEST_F(BackupFolder, CameraTextsCannotLeaveTheDatedFolder) {
    const std::time_t now = std::time(nullptr);
    const fs::path dated = fs::path(vcq::BackupFilePath(now, "VCQ-R20", "1")).parent_path();
    const std::pair<std::string, std::string> cases[] = {
        {"../../x", "vcq-r20._._.._x.cfg"},
        {"", "vcq-r20.unknown.cfg"},
        {".hidden/\\a b", "vcq-r20._hidden__a_b.cfg"},
        {std::string(300, '9'), "vcq-r20." + std::string(64, '9') + ".cfg"},
    };
    for (const auto& [serial, name] : cases) {
        fs::path path = vcq::BackupFilePath(now, "VCQ-R20", serial);
        EXPECT_EQ(path.parent_path(), dated) << serial;
        EXPECT_EQ(path.filename(), name) << serial;
    }
    EXPECT_EQ(fs::path(vcq::BackupFilePath(now, "../R20", "1")).filename(), "_._r20.1.cfg");

    ScriptedServer server;
    server.SetReply(OkReply("settings"));
    ConfigBackup hostile(server.hostText(), "/home/l4/vcq-r20.cfg", "t", now, "VCQ-R20", "../../x",
                         false);
    ASSERT_TRUE(hostile.Download()) << hostile.errorText;
    ASSERT_EQ(FilesBelow().size(), 1u);
    EXPECT_EQ(FilesBelow()[0].parent_path(), dated);
}

TEST_F(BackupFolder, ReadBackOfAShortFileFails) {
    ScriptedServer server;
    server.SetReply(OkReply(Pattern(100)));
    ConfigBackup backup(server.hostText(), "/home/l4/x.cfg", "t", std::time(nullptr), "X", "1",
                        true);
    ASSERT_TRUE(backup.Download());
    fs::resize_file(backup.localPath, 60);
    std::vector<char> buffer;
    EXPECT_FALSE(backup.ReadBack(buffer));
    EXPECT_EQ(buffer.size(), 60u);

    fs::path folder = fs::path(backup.localPath).parent_path();
    backup.DeleteFileIfWanted();
    EXPECT_FALSE(fs::exists(backup.localPath));
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(BackupFolder, UpgradeLogGoesBesideTheBatchsBackupsWithCrLf) {
    const std::time_t start = std::time(nullptr);
    const struct {
        std::string text;
        std::string bytes;
    } cases[] = {
        {"VCQ-R20(127.0.0.2) Completed successfully.\r\n",
         "VCQ-R20(127.0.0.2) Completed successfully.\r\n"},
        {"a\nb\rc\r\n", "a\r\nb\r\nc\r\n"},
        {"Kamera \xC3\xBC\n", "Kamera \xC3\xBC\r\n"},  // UTF-8 passes untouched
        {"", ""},
        {"\n\n", "\r\n\r\n"},
    };
    const std::string folder = vcq::BatchFolder(start);
    EXPECT_EQ(fs::path(vcq::BackupFilePath(start, "VCQ-R20", "1")).parent_path(),
              fs::path(folder).parent_path());
    int number = 1;
    for (const auto& c : cases) {
        std::string error = "stale";
        const std::string path = vcq::WriteUpgradeLog(start, c.text, error);
        ASSERT_FALSE(path.empty()) << error;
        EXPECT_TRUE(error.empty());
        // Each batch in the same minute keeps its own log.
        EXPECT_EQ(path, folder + (number == 1 ? std::string("upgrade-log.txt")
                                              : "upgrade-log-" + std::to_string(number) + ".txt"));
        EXPECT_EQ(ReadFile(path), c.bytes);
        ++number;
    }
    EXPECT_EQ(FilesBelow().size(), std::size(cases)) << "no part file left behind";
}

// Program Files first; when its folder cannot be made (no administrator
// rights), the user's own; when neither, the reasons of both.
TEST_F(BackupFolder, UpgradeLogGoesWhereItCanAndSaysWhyNot) {
    struct Case {
        const char* what;
        bool programFilesRefuses, userFolderRefuses;
    };
    const Case cases[] = {
        {"Program Files takes it", false, false},
        {"the user's folder takes it", true, false},
        {"neither takes it", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.programFilesRefuses)
            folder_.Block(root_);
        if (c.userFolderRefuses)
            folder_.Block(folder_.userRoot());
        std::string error;
        const std::string path = vcq::WriteUpgradeLog(std::time(nullptr), "x\r\n", error);
        if (c.userFolderRefuses) {
            EXPECT_EQ(path, "");
            EXPECT_NE(
                error.find("Cannot create the folder of " + (folder_.userRoot() / "TEZO").string()),
                std::string::npos)
                << error;
            EXPECT_NE(error.find("upgrade-log.txt: "), std::string::npos) << error;
            EXPECT_NE(error.find(" (under Program Files: "), std::string::npos) << error;
        } else {
            const fs::path base = c.programFilesRefuses ? folder_.userRoot() : root_;
            EXPECT_EQ(path.rfind((base / "TEZO" / "VCQ FirmwareUpgrade").string(), 0), 0u) << path;
            EXPECT_EQ(ReadFile(path), "x\r\n");
            EXPECT_EQ(error, "");
        }
        std::error_code ec;
        fs::remove_all(root_ / "TEZO", ec);
        fs::remove_all(folder_.userRoot() / "TEZO" / "VCQ FirmwareUpgrade", ec);
    }
}

TEST(Restore, SendsTheFormExactlyInPieces) {
    ScriptedServer server;
    server.SetReply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    std::string config = Pattern(2920);
    CgiClient client(server.hostText());
    client.SetRestoreData(config.data(), static_cast<uint32_t>(config.size()));
    ASSERT_EQ(client.RestoreConfiguration(), 0);

    auto form = vcq::test::CheckRestoreRequest(server.Requests().at(0), server.hostText(), config);
    const std::string& boundary = form.boundary;
    ASSERT_EQ(boundary.rfind(std::string(27, '-') + "7d", 0), 0u);
    long long seconds = std::stoll(boundary.substr(29));
    EXPECT_LE(std::llabs(seconds - std::time(nullptr)), 5);
    const size_t head = form.head.size(), tail = form.tail.size();
    EXPECT_EQ(client.restoreWrites(), (std::vector<size_t>{head, 1460, 1460, 0, tail}));

    std::string odd = Pattern(1500);
    client.SetRestoreData(odd.data(), static_cast<uint32_t>(odd.size()));
    ASSERT_EQ(client.RestoreConfiguration(), 0);
    EXPECT_EQ(client.restoreWrites(), (std::vector<size_t>{head, 1460, 40, tail}));
}

TEST(Restore, FailuresGiveMinusOneOrMinusTwo) {
    uint16_t closedPort;
    {
        ScriptedServer gone;
        closedPort = gone.port();
    }
    std::string config = Pattern(10);
    CgiClient refused("127.0.0.1:" + std::to_string(closedPort));
    refused.SetRestoreData(config.data(), 10);
    EXPECT_EQ(refused.RestoreConfiguration(), -1);
    CgiClient invalid("camera:80");
    EXPECT_EQ(invalid.RestoreConfiguration(), -1);

    // The form went out whole but the camera never ended the request.
    ScriptedServer server;
    server.SetReply(ScriptedReply{{}, true});
    CgiClient silent(server.hostText());
    silent.SetRestoreData(config.data(), 10);
    silent.SetRestoreLimits({1000ms, 1000ms, 1500ms});
    EXPECT_EQ(silent.RestoreConfiguration(), -2);
}

TEST(Restore, CountsOnlyWhenTheCameraSaysYes) {
    std::string config = Pattern(100);
    const std::pair<std::string, int> cases[] = {
        {"HTTP/1.1 204 No Content\r\n\r\n", 0},
        {"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n", -3},
        {"HTTP/1.1 401 Unauthorized\r\nContent-Length: 4\r\n\r\nnope", -3},
        {"HTTP/1.1 2", -2},  // no whole status line
        {"", -2},            // cut without a word
    };
    for (const auto& [reply, expected] : cases) {
        ScriptedServer server;
        server.SetReply(ScriptedReply{{{reply}}, false});
        CgiClient client(server.hostText());
        client.SetRestoreData(config.data(), static_cast<uint32_t>(config.size()));
        EXPECT_EQ(client.RestoreConfiguration(), expected) << reply;
        EXPECT_EQ(client.restoreError().empty(), expected == 0) << client.restoreError();
    }
}
