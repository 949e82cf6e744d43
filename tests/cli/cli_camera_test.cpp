// vcq-upgrade-cli check, backup, restore and upgrade, run as a program
// against a stand-in camera on 127.0.0.2:80 and :21. These run only inside
// tests/isolated.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "cgi_handlers.h"
#include "cli_run.h"
#include "command_line.h"
#include "isolated_env.h"
#include "log_text.h"
#include "platform/files.h"
#include "portable_env.h"
#include "simulator.h"
#include "upgrade/event_json.h"
#include "utf16_text.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
namespace sim = vcq::sim;

namespace {

using vcq::test::Outcome;
using vcq::test::ReadWholeFile;
using vcq::test::WithoutRunLines;

// Paths in UTF-8 both ways, also where the ANSI code page cannot hold them.
fs::path Path(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

class CliCamera : public ::testing::Test {
  protected:
    void SetUp() override {
        VCQ_REQUIRE_ISOLATED_NETWORK();
        scratch_ = fs::temp_directory_path() /
                   ("vcq-cli-" + vcq::test::UniqueTag() + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(scratch_);
        fs::create_directories(scratch_);
        // Wine sets ProgramFiles afresh in each process it starts; tests/wine-run
        // gives every test an empty C:\Program Files instead.
        programFiles_ = vcq::test::UnderWine() ? fs::path("C:\\Program Files") : scratch_ / "pf";
        vcq::test::SetEnv("ProgramFiles", programFiles_.string());
        // Where backups go when Program Files refuses them: the known folder
        // under wine (tests/wine-run gives every run an empty TEZO there).
        userData_ =
            vcq::test::UnderWine() ? Path(vcq::files::UserDataFolder()) : scratch_ / "user data";
        if (!vcq::test::UnderWine())
            vcq::test::SetEnv("XDG_DATA_HOME", userData_.string());
    }
    void TearDown() override {
        simulator_.reset();
        vcq::test::UnsetEnv("ProgramFiles");
        vcq::test::UnsetEnv("XDG_DATA_HOME");
        std::error_code ec;
        if (!userData_.empty())
            fs::remove_all(userData_ / "TEZO" / "VCQ FirmwareUpgrade", ec);
        if (!scratch_.empty())
            fs::remove_all(scratch_);
        if (!programFiles_.empty())
            fs::remove_all(programFiles_ / "TEZO");
    }

    void StartCamera(const std::function<void(sim::CameraConfig&)>& adjust = {}) {
        sim::CameraConfig config;
        config.address = "127.0.0.2";
        config.users = {{"admin", "secret"}, {"viewer", "look"}};
        config.serial = "123456";
        config.rebootDowntime = 300ms;
        if (adjust)
            adjust(config);
        sim::SimulatorOptions options;
        options.ftp = true;
        simulator_ = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator_->AddCamera(config, &error)) << error;
    }

    Outcome RunCli(const std::vector<std::string>& args, const fs::path& input = {}) {
        return vcq::test::RunCliProgram(args, scratch_ / "stderr.txt", input);
    }

    // The value of the first "KEY: " line of the output.
    static std::string Line(const std::string& out, const std::string& key) {
        const std::string text = "\n" + out;
        size_t at = text.find("\n" + key + ": ");
        if (at == std::string::npos)
            return "<missing>";
        at += key.size() + 3;
        return text.substr(at, text.find('\n', at) - at);
    }

    // A file where the backup folder would go: the folder cannot be made,
    // as in a Program Files that only an administrator may write.
    static void BlockBackups(const fs::path& base) {
        fs::create_directories(base / "TEZO");
        std::ofstream(base / "TEZO" / "VCQ FirmwareUpgrade") << "not a folder";
    }

    fs::path scratch_;
    fs::path programFiles_;  // where the tool keeps its backups
    fs::path userData_;      // and where when it cannot
    std::unique_ptr<sim::Simulator> simulator_;
};

const std::vector<std::string> kLogin = {"--user", "admin", "--password", "secret"};

std::vector<std::string> With(std::vector<std::string> words,
                              const std::vector<std::string>& more = kLogin) {
    words.insert(words.end(), more.begin(), more.end());
    return words;
}

}  // namespace

TEST_F(CliCamera, CheckPrintsTheIdentityOfAFitCamera) {
    const struct {
        const char* version;
        std::string out;
    } cases[] = {
        {"1.07", "model: VCQ-R20\nversion: 1.07\nserial: 123456\n"},
        {"1.08",
         "model: VCQ-R20\nversion: 1.08\nserial: 123456\n"
         "Up to date: The camera already runs the package's version.\n"},
    };
    for (const auto& c : cases) {
        StartCamera([&](sim::CameraConfig& config) { config.softVersion = c.version; });
        Outcome run = RunCli(With({"check", "127.0.0.2"}));
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out, c.out);
    }
}

TEST_F(CliCamera, CheckRefusalsExitOneWithTheOperatorsMessage) {
    struct Case {
        std::function<void(sim::CameraConfig&)> adjust;
        std::vector<std::string> login;
        std::string message;
    };
    const Case cases[] = {
        {{},
         {"--user", "admin", "--password", "wrong"},
         "Please enter correct user name and password for the administrator."},
        {{},
         {"--user", "viewer", "--password", "look"},
         "Level 4 users other than Administrator cannot run the program."},
        {[](sim::CameraConfig& c) { c.model = "VCQ-R30"; }, kLogin,
         "This program works for the VCQ-R30. Please select the correct camera."},
        {[](sim::CameraConfig& c) { c.imageMemoryOn = true; }, kLogin,
         "Please disable \"Image Memory\" function."},
        {[](sim::CameraConfig& c) { c.builtInFreeBytes = 5242879; }, kLogin,
         "There is not enough free space in the built-in memory."},
        {[](sim::CameraConfig& c) { c.httpFault = sim::HttpFault::RefuseConnections; }, kLogin,
         "Cannot find the camera. (The camera may be turned off.)"},
        {[](sim::CameraConfig& c) { c.softVersion = "3.00"; }, kLogin,
         "The firmware upgrade cannot be applied to the target camera."},
    };
    for (const Case& c : cases) {
        StartCamera(c.adjust);
        Outcome run = RunCli(With({"check", "127.0.0.2"}, c.login));
        EXPECT_EQ(run.code, 1) << c.message;
        // The operator's message first; a line with the reason may follow.
        EXPECT_EQ(run.err.substr(0, c.message.size() + 1), c.message + "\n") << run.err;
        // What the camera did not tell is not printed empty.
        EXPECT_EQ(run.out.find(": \n"), std::string::npos) << run.out;
    }
}

TEST_F(CliCamera, UsageErrorsExitTwoWithoutAskingTheCamera) {
    StartCamera();
    const std::vector<std::string> bad[] = {
        {"check", "127.0.0.2", "--password", "secret"},
        {"check", "camera.local", "--user", "admin", "--password", "secret"},
        {"check", "127.0.0.2:0", "--user", "admin", "--password", "secret"},
        {"check", "--user", "admin", "--password", "secret"},
        {"backup", "127.0.0.2", "--user", "admin"},
        {"restore", "127.0.0.2"},
        {"upgrade", "127.0.0.2", "--user", "admin", "--password", "secret", "--no-retain",
         "--backup"},
        {"upgrade", "127.0.0.2", "--user", "admin", "--password", "secret", "--retain",
         "--no-retain"},
        {"upgrade", "127.0.0.2", "--user", "admin", "--password", "secret", "--bogus"},
    };
    for (const auto& args : bad) {
        Outcome run = RunCli(args);
        EXPECT_EQ(run.code, 2) << args[0] << " " << args[1];
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_EQ(simulator_->Requests(0).size(), 0u);
}

TEST_F(CliCamera, BackupSavesTheFileThatRestoreSendsBack) {
    const std::string settings = "camera settings\r\n" + std::string(3000, '\xA5');
    StartCamera([&](sim::CameraConfig& c) { c.configuration = settings; });
    Outcome saved = RunCli(With({"backup", "127.0.0.2"}));
    ASSERT_EQ(saved.code, 0) << saved.err;
    const std::string path = Line(saved.out, "saved");
    EXPECT_EQ(fs::path(path).filename(), "vcq-r20.123456.cfg");
    EXPECT_EQ(path.rfind(programFiles_.string(), 0), 0u) << path;
    EXPECT_TRUE(ReadWholeFile(path) == settings);

    simulator_->Update(0, [](sim::CameraConfig& c) { c.configuration = "factory"; });
    Outcome restored = RunCli({"restore", "127.0.0.2", path});
    EXPECT_EQ(restored.code, 0) << restored.err;
    EXPECT_EQ(restored.out, "result: 0\n");
    EXPECT_TRUE(simulator_->Config(0).restoredConfiguration == settings);

    // Nothing listens: the form cannot go out.
    simulator_.reset();
    Outcome refused = RunCli({"restore", "127.0.0.2", path, "--force"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.out, "result: -1\n");
}

// A backup of another camera would bring its IP address along: refused,
// both serials named, unless --force. Files not named as our backups go as
// they are.
TEST_F(CliCamera, RestoreRefusesAnotherCamerasBackupUnlessForced) {
    StartCamera();  // serial 123456
    struct Case {
        const char* file;
        bool force;
        int code;
        const char* message;  // on stderr, when refused
    };
    const Case cases[] = {
        {"vcq-r20.123456.cfg", false, 0, ""},
        {"vcq-r20.123456-2.cfg", false, 0, ""},
        {"settings.cfg", false, 0, ""},
        {"vcq-r20.654321.cfg", false, 1, "serial 654321, but 127.0.0.2 has serial 123456"},
        {"vcq-r20.654321-2.cfg", false, 1, "serial 654321-2, but 127.0.0.2 has serial 123456"},
        {"vcq-r20.654321.cfg", true, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        simulator_->Update(0, [](sim::CameraConfig& config) { config.restoredConfiguration = ""; });
        const fs::path file = scratch_ / c.file;
        std::ofstream(file, std::ios::binary) << "settings of " << c.file;
        std::vector<std::string> args = {"restore", "127.0.0.2", file.string()};
        if (c.force)
            args.push_back("--force");
        Outcome run = RunCli(args);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(simulator_->Config(0).restoredConfiguration,
                  c.code == 0 ? "settings of " + std::string(c.file) : "");
    }
    // A camera that cannot tell its serial takes no backup of ours unforced.
    simulator_.reset();
    Outcome silent = RunCli({"restore", "127.0.0.2", (scratch_ / "vcq-r20.123456.cfg").string()});
    EXPECT_EQ(silent.code, 1);
    EXPECT_NE(silent.err.find("cannot read the serial"), std::string::npos) << silent.err;
}

// The password's sources in their order: --password, --password-file (its
// first line), VCQ_PASSWORD; none at all (no terminal here) is a usage
// error. The password shows nowhere.
TEST_F(CliCamera, PasswordSourcesInTheirOrder) {
    const std::string good = "Pw-77,81";
    const std::string bad = "Zq-1306";
    StartCamera([&](sim::CameraConfig& c) { c.users = {{"admin", good}}; });
    const fs::path goodFile = scratch_ / "good.txt";
    const fs::path badFile = scratch_ / "bad.txt";
    std::ofstream(goodFile, std::ios::binary) << "\xEF\xBB\xBF" << good << "\r\n" << bad << "\n";
    std::ofstream(badFile, std::ios::binary) << bad;
    const fs::path emptyFile = scratch_ / "empty.txt";
    std::ofstream(emptyFile, std::ios::binary) << "\xEF\xBB\xBF\r\n" << good << "\n";
    // PowerShell 5.1's `>` writes UTF-16 with a byte-order mark.
    const std::u16string wide = u"Pw-77,81\r\nZq-1306\r\n";
    const fs::path littleFile = scratch_ / "little.txt";
    std::ofstream(littleFile, std::ios::binary) << vcq::test::Utf16File(wide);
    const fs::path bigFile = scratch_ / "big.txt";
    std::ofstream(bigFile, std::ios::binary) << vcq::test::Utf16File(wide, true);
    struct Case {
        std::vector<std::string> words;
        const char* environment;  // VCQ_PASSWORD, or null
        int code;
    };
    const Case cases[] = {
        {{"--password", good}, nullptr, 0},
        {{"--password-file", goodFile.string()}, nullptr, 0},
        {{"--password-file", littleFile.string()}, nullptr, 0},
        {{"--password-file", bigFile.string()}, nullptr, 0},
        {{}, good.c_str(), 0},
        {{"--password", bad, "--password-file", goodFile.string()}, good.c_str(), 1},
        {{"--password-file", goodFile.string()}, bad.c_str(), 0},
        {{"--password-file", badFile.string()}, good.c_str(), 1},
        {{"--password-file", (scratch_ / "none.txt").string()}, good.c_str(), 2},
        {{}, nullptr, 2},
        // Empty, it would go to every camera and may lock the account.
        {{"--password-file", emptyFile.string()}, good.c_str(), 2},
        {{}, "", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words) + (c.environment ? c.environment : ""));
        if (c.environment)
            vcq::test::SetEnv("VCQ_PASSWORD", c.environment);
        Outcome run = RunCli(With({"check", "127.0.0.2", "--user", "admin"}, c.words));
        vcq::test::UnsetEnv("VCQ_PASSWORD");
        EXPECT_EQ(run.code, c.code) << run.err;
        for (const std::string& secret : {good, bad})
            EXPECT_EQ((run.out + run.err).find(secret), std::string::npos) << run.out << run.err;
    }
}

TEST_F(CliCamera, UpgradeRetainingABackupShowsEveryStepInOrder) {
    const std::string settings = "camera settings " + std::string(2000, 'x');
    // Also a camera that ends its file by closing the connection and answers
    // the restore with a redirect, as a web form does.
    for (const char* camera : {"", "config-end=close,restore=302"}) {
        StartCamera([&](sim::CameraConfig& c) {
            std::string error;
            ASSERT_TRUE(sim::ApplyCameraSettings(camera, c, error)) << error;
            c.configuration = settings;
        });
        Outcome run = RunCli(With({"upgrade", "127.0.0.2", "--retain", "--backup"}));
        EXPECT_EQ(run.code, 0) << camera << run.out << run.err;
        // This build carries the stand-in package, and says so first.
        EXPECT_EQ(run.out.rfind("note: this build carries the stand-in firmware package", 0), 0u)
            << run.out;
        // A redirect counts as taken, but says so and names the file.
        const std::string end = *camera ? "step 8 Completed: the camera answered the restore with "
                                          "a redirect (HTTP 302)"
                                        : "step 8 Completed\n";
        size_t last = 0;
        for (const std::string& line :
             {std::string("step 2 Uploading\n"), std::string("step 3 Overwriting\n"),
              std::string("step 7 Reconfiguring\n"), end}) {
            size_t at = run.out.find(line, last);
            ASSERT_NE(at, std::string::npos) << line << run.out;
            last = at;
        }
        EXPECT_EQ(Line(run.out, "current version"), "1.05");
        EXPECT_EQ(Line(run.out, "upgraded to"), "1.08");
        // Kept, as asked, and back on the camera.
        const std::string kept = Line(run.out, "kept");
        EXPECT_EQ(kept, Line(run.out, "saved"));
        EXPECT_TRUE(ReadWholeFile(kept) == settings);
        EXPECT_TRUE(simulator_->Config(0).restoredConfiguration == settings);
        EXPECT_EQ(simulator_->Ftp(0).flashedVersion, "1.08");
    }
}

// A request to end during `upgrade` (or `backup`) ends the job where it is:
// its reason and kept file said, exit 130 within two seconds, its unpacked
// package gone.
TEST_F(CliCamera, ARequestToEndStopsTheUpgradeAndKeepsItsFile) {
    if (vcq::test::UnderWine())
        GTEST_SKIP() << "wine does not deliver a generated Ctrl-Break to another console";
    const struct {
        const char* camera;
        const char* step;    // stopped once a line starting so shows, else after a while
        const char* reason;  // what the tool says
        bool kept;           // a saved configuration is named
        int versionups;
        const char* command = "upgrade";
    } rows[] = {
        {"config-end=stall:100", nullptr, "backup: stopped; nothing was saved", false, 0, "backup"},
        // In the check, then in the save: nothing half written stays.
        {"delay=20000", "note: ", "stopped before the upgrade began: the camera is unchanged",
         false, 0},
        {"config-end=stall:100", "step 1 ",
         "stopped before the upgrade began: the camera is unchanged", false, 0},
        {"ftp-rate=20000", "step 2 Uploading\n", "cut off while Uploading (step 2)", true, 0},
        {"linger=20000,poll-stall=20", "step 3 Overwriting\n",
         "cut off while Overwriting (step 3); the camera may still be writing", true, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.camera);
        StartCamera([&](sim::CameraConfig& c) {
            std::string error;
            ASSERT_TRUE(sim::ApplyCameraSettings(row.camera, c, error)) << error;
        });
        const fs::path temp = scratch_ / "temp";
        fs::create_directories(temp);
        vcq::test::SetEnv("TMPDIR", temp.string());
        vcq::test::CliProcess cli(With({row.command, "127.0.0.2"}), scratch_ / "stderr.txt");
        vcq::test::UnsetEnv("TMPDIR");
        for (std::string line = row.step ? cli.ReadLine() : "";
             row.step && !line.starts_with(row.step); line = cli.ReadLine())
            ASSERT_FALSE(line.empty()) << "never " << row.step;
        std::this_thread::sleep_for(row.step ? 300ms : 1000ms);
        const auto asked = std::chrono::steady_clock::now();
        cli.Stop();
        Outcome run = cli.Finish();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
        EXPECT_EQ(run.code, 130) << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(row.reason), std::string::npos) << run.out << run.err;
        // A check or save cut short says only that.
        EXPECT_EQ(run.err.find("Cannot find the camera"), std::string::npos) << run.err;
        EXPECT_EQ(fs::is_regular_file(Line(run.out, "kept")), row.kept) << run.out;
        for (const fs::path& folder : {programFiles_, userData_}) {
            if (row.kept || !fs::exists(folder))
                continue;
            for (const auto& entry : fs::recursive_directory_iterator(folder))
                EXPECT_FALSE(entry.is_regular_file()) << entry.path();
        }
        EXPECT_TRUE(fs::is_empty(temp)) << "the unpacked package is left behind";
        EXPECT_EQ(simulator_->RequestCount(0, "POST /command/main.cgi"), row.versionups);
        simulator_.reset();
    }
}

TEST_F(CliCamera, UpgradeWhoseVersionUpIsNotAcceptedExitsOne) {
    StartCamera([](sim::CameraConfig& c) { c.forcedStatus["POST /command/main.cgi"] = 200; });
    Outcome run = RunCli(With({"upgrade", "127.0.0.2"}));
    EXPECT_EQ(run.code, 1) << run.out;
    EXPECT_NE(run.out.find("step 9"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("step 8"), std::string::npos);
    EXPECT_NE(run.err.find("VersionUp Error!!"), std::string::npos) << run.err;
    EXPECT_EQ(simulator_->RequestCount(0, "POST /command/main.cgi"), 1);
}

// Older firmware only with --allow-downgrade, which --yes never stands for;
// the reset question then still needs --yes.
TEST_F(CliCamera, UpgradeNeverAnswersTheResetQuestionYesByItself) {
    StartCamera([](sim::CameraConfig& c) { c.softVersion = "1.09"; });
    Outcome older = RunCli(With({"upgrade", "127.0.0.2", "--yes"}));
    EXPECT_EQ(older.code, 1) << older.out;
    EXPECT_NE(older.err.find("newer than this program's firmware (1.09 > 1.08)"), std::string::npos)
        << older.err;
    Outcome refused = RunCli(With({"upgrade", "127.0.0.2", "--allow-downgrade"}));
    EXPECT_EQ(refused.code, 1) << refused.out;
    EXPECT_NE(refused.err.find("IP address will be reset to default."), std::string::npos);
    EXPECT_NE(refused.err.find("Answered no"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out.find("step"), std::string::npos) << refused.out;
    EXPECT_EQ(simulator_->RequestCount(0, "POST /command/ftpserver.cgi"), 0);

    Outcome agreed = RunCli(With({"upgrade", "127.0.0.2", "--allow-downgrade", "--yes"}));
    EXPECT_EQ(agreed.code, 0) << agreed.out << agreed.err;
    EXPECT_EQ(Line(agreed.out, "upgraded to"), "1.08");
}

TEST_F(CliCamera, FailuresPrintTheirStepTextAndReasonAndNoWrongOutcome) {
    StartCamera([](sim::CameraConfig& c) {
        c.afterReboot = sim::AfterReboot::OldVersion;
        c.rebootDowntime = 11s;  // a restart, not a cut connection
    });
    Outcome wrong = RunCli(With({"upgrade", "127.0.0.2"}));
    EXPECT_EQ(wrong.code, 1);
    EXPECT_NE(wrong.out.find("step 3 Overwriting\n"), std::string::npos) << wrong.out;
    EXPECT_NE(wrong.out.find("step 10 Error2: the camera came back with 1.05, expected 1.08; the "
                             "saved configuration is kept in "),
              std::string::npos)
        << wrong.out;
    EXPECT_NE(wrong.err.find("Version up error."), std::string::npos) << wrong.err;

    // A refused FTP login is an FTP error, with libcurl's reason beneath it.
    StartCamera([](sim::CameraConfig& c) { c.ftpRefuseLogin = true; });
    Outcome ftp = RunCli(With({"upgrade", "127.0.0.2"}));
    EXPECT_EQ(ftp.code, 1);
    EXPECT_NE(ftp.out.find("step 12 Error4: FTP login"), std::string::npos) << ftp.out;
    EXPECT_NE(ftp.err.find("Ftp Error!\nFTP login"), std::string::npos) << ftp.err;
    EXPECT_EQ(ftp.err.find("Version up error."), std::string::npos) << ftp.err;
}

TEST_F(CliCamera, RefusedRestoreExitsNonZeroAndKeepsTheFile) {
    StartCamera([](sim::CameraConfig& c) { c.restoreAnswer = sim::RestoreAnswer::Refuse; });
    Outcome run = RunCli(With({"upgrade", "127.0.0.2", "--retain"}));
    EXPECT_EQ(run.code, 3) << run.out << run.err;
    EXPECT_NE(run.out.find("step 8 Completed"), std::string::npos);
    EXPECT_NE(run.err.find("Fault to upload configuration!"), std::string::npos) << run.err;
    const std::string kept = Line(run.out, "kept");
    EXPECT_TRUE(fs::is_regular_file(kept)) << run.out;

    Outcome restore = RunCli({"restore", "127.0.0.2", kept});
    EXPECT_EQ(restore.code, 1);
    EXPECT_EQ(restore.out, "result: -3\n");
    EXPECT_NE(restore.err.find("refused"), std::string::npos) << restore.err;
}

TEST_F(CliCamera, UnreadableRepliesNeverEndSilently) {
    StartCamera([](sim::CameraConfig& c) { c.forcedStatus["inq=imagememory"] = 200; });
    Outcome run = RunCli(With({"check", "127.0.0.2"}));
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "the camera's reply to inq=imagememory holds no ImageMemoryFunc=\n");
}

TEST_F(CliCamera, RetainSaysWhyTheConfigurationCouldNotBeSaved) {
    StartCamera();
    BlockBackups(programFiles_);
    BlockBackups(userData_);
    Outcome run = RunCli(With({"upgrade", "127.0.0.2", "--retain"}));
    EXPECT_EQ(run.code, 1);
    // The user's folder failed last, and both say why.
    const std::string expected =
        "Cannot save camera's configuration!\nCannot create the folder of " +
        Utf8(userData_ / "TEZO" / "VCQ FirmwareUpgrade");
    EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(".cfg: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" (under Program Files: "), std::string::npos) << run.err;
    EXPECT_EQ(simulator_->RequestCount(0, "POST /command/ftpserver.cgi"), 0);
}

// Where the files go for a user without administrator rights or with a name
// beyond ASCII: each run says where its file went, and the file is there.
TEST_F(CliCamera, FilesGoWhereThisUserCanWriteThem) {
    struct Case {
        const char* what;
        const char* temp;  // the tool's temporary folder under the scratch one; "" as is
        bool programFilesRefuses;
        std::vector<std::string> args;
        const char* key;  // the output line naming the file
    };
    const Case cases[] = {
        {"a temporary folder beyond ASCII",
         "J\u00fcrgen \u65e5\u672c",
         false,
         {"upgrade", "127.0.0.2", "--retain", "--backup"},
         "saved"},
        {"Program Files refuses the backup", "", true, {"backup", "127.0.0.2"}, "saved"},
        {"Program Files refuses the upgrade's backup",
         "J\u00fcrgen",
         true,
         {"upgrade", "127.0.0.2", "--retain", "--backup"},
         "saved"},
        {"Program Files refuses the batch's log",
         "",
         true,
         {"batch", "127.0.0.2", "--yes"},
         "Log file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartCamera();
        std::vector<std::pair<const char*, std::optional<std::string>>> saved;
        if (*c.temp) {
            const fs::path temp = scratch_ / Path(c.temp);
            fs::create_directories(temp);
            for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
                saved.emplace_back(name, vcq::files::GetEnv(name));
                vcq::test::SetEnv(name, Utf8(temp));
            }
        }
        if (c.programFilesRefuses)
            BlockBackups(programFiles_);
        Outcome run = RunCli(With(c.args));
        for (const auto& [name, value] : saved) {
            if (value)
                vcq::test::SetEnv(name, *value);
            else
                vcq::test::UnsetEnv(name);
        }
        EXPECT_EQ(run.code, 0) << run.out << run.err;
        const std::string path = Line(run.out, c.key);
        const fs::path base = c.programFilesRefuses ? userData_ : programFiles_;
        EXPECT_EQ(path.rfind(Utf8(base / "TEZO" / "VCQ FirmwareUpgrade" / "Configurations"), 0), 0u)
            << path;
        EXPECT_TRUE(fs::is_regular_file(Path(path))) << path;
        fs::remove_all(programFiles_ / "TEZO");
        fs::remove_all(userData_ / "TEZO" / "VCQ FirmwareUpgrade");
    }
}

// File names given on the command line reach the file system whole.
TEST_F(CliCamera, FileNamesBeyondAsciiOnTheCommandLine) {
    StartCamera([](sim::CameraConfig& c) { c.configuration = "camera settings"; });
    const fs::path folder = scratch_ / Path("J\u00fcrgen \u00e9t\u00e9");
    fs::create_directories(folder);
    std::ofstream(folder / "saved.cfg", std::ios::binary) << "camera settings";
    std::ofstream(folder / "cameras.csv", std::ios::binary) << "127.0.0.2\r\n";
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* made;  // the file or folder the run leaves in the folder; "" none
    };
    const Case cases[] = {
        {{"restore", "127.0.0.2", Utf8(folder / "saved.cfg")}, 0, ""},
        {{"extract", "embedded", Utf8(folder / "out")}, 0, "out"},
        {With({"batch", "--csv", Utf8(folder / "cameras.csv"), "--yes", "--failed-list",
               Utf8(folder / "failed.csv")}),
         0, "failed.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        Outcome run = RunCli(c.args);
        EXPECT_EQ(run.code, c.code) << run.out << run.err;
        if (*c.made) {
            EXPECT_TRUE(fs::exists(folder / c.made));
        }
    }
    EXPECT_TRUE(simulator_->Config(0).restoredConfiguration == "camera settings");
}

namespace {

// A restart the tool can tell from a cut connection: longer than the ten
// seconds of silence it waits for. Only a camera that comes back without the
// new version, or with the version it had, needs it.
const std::string kSeenRestarting = "reboot=11000";

// A fleet of stand-in cameras on 127.0.0.2, .3 ... in one simulator.
class CliBatch : public CliCamera {
  protected:
    void StartFleet(const std::vector<std::string>& settings) {
        sim::SimulatorOptions options;
        options.ftp = true;
        simulator_ = std::make_unique<sim::Simulator>(options);
        for (size_t i = 0; i < settings.size(); ++i) {
            sim::CameraConfig config = sim::DefaultCamera(static_cast<int>(i));
            config.users = {{"admin", "secret"}};
            config.rebootDowntime = 300ms;
            std::string error;
            ASSERT_TRUE(sim::ApplyCameraSettings(settings[i], config, error)) << error;
            ASSERT_TRUE(simulator_->AddCamera(config, &error)) << error;
            hosts_.push_back(simulator_->HostText(i));
        }
    }

    std::vector<std::string> BatchArgs(std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"batch"};
        args.insert(args.end(), hosts_.begin(), hosts_.end());
        args.insert(args.end(), kLogin.begin(), kLogin.end());
        args.push_back("--yes");
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    // The printed log, its lines ended as the saved file ends them.
    static std::string Log(const std::string& out) {
        size_t at = out.find("Upgrade log\n");
        if (at == std::string::npos)
            return "<missing>";
        std::string log = out.substr(at + 12);
        // The batch's one-line summary follows the log.
        if (size_t summary = log.rfind("\nSummary: "); summary != std::string::npos)
            log.erase(summary + 1);
        else if (log.starts_with("Summary: "))
            log.clear();
        EXPECT_EQ(log.find('\r'), std::string::npos) << "printed with the console's line end";
        log = WithoutRunLines(log);
        for (size_t end = 0; (end = log.find('\n', end)) != std::string::npos; end += 2)
            log.insert(end, 1, '\r');
        return InFolder(log);
    }

    // Each camera's indented line of versions and times, apart ("1.05 -> 1.08"
    // a line): the times are the run's own, checked for their form here.
    static std::string RunLines(const std::string& out) {
        static const std::regex kLine(
            "^    Version ([^,]*), \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d to "
            "(\\d{4}-\\d\\d-\\d\\d )?\\d\\d:\\d\\d:\\d\\d$");
        std::string lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) {
            std::smatch match;
            if (vcq::test::IsRunLine(line)) {
                EXPECT_TRUE(std::regex_match(line, match, kLine)) << line;
                lines += (match.size() > 1 ? match[1].str() : line) + "\n";
            }
        }
        return lines;
    }

    // The batch's dated backup folder, wherever it is and whichever separator, as "<folder>".
    static std::string InFolder(const std::string& text) {
        static const std::regex kFolder("kept in [^\r\n]*[/\\\\]([^/\\\\\r\n]+\\.cfg)");
        return std::regex_replace(text, kFolder, "kept in <folder>/$1");
    }

    std::vector<std::string> hosts_;
};

}  // namespace

TEST_F(CliBatch, EightCamerasTwoFaultyEndWithTheLogAndExitOne) {
    StartFleet({"", "", "dhcp=on", "status=/command/main.cgi:500", "port=8080", "", "",
                "after-reboot=old," + kSeenRestarting});
    Outcome run = RunCli(BatchArgs({"--retain"}));
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    EXPECT_EQ(Log(run.out),
              "VCQ-R20(127.0.0.2) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.3) Completed successfully.\r\n"
              "VCQ-R20(DHCP:127.0.0.4) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.5) Network error (missing target).\r\n"
              "    the camera answered \"HTTP/1.1 500 Internal Server Error\" to "
              "System=versionup; the saved configuration is kept in "
              "<folder>/vcq-r20.10000004.cfg\r\n"
              "VCQ-R20(127.0.0.6:8080) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.7) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.8) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.9) Upgrade sequence error.\r\n"
              "    the camera came back with 1.05, expected 1.08; the saved configuration is "
              "kept in <folder>/vcq-r20.10000008.cfg\r\n");
    // From what to what each camera went: refused before the flash it kept
    // its version; back with the old one, it says so.
    EXPECT_EQ(RunLines(run.out),
              "1.05 -> 1.08\n1.05 -> 1.08\n1.05 -> 1.08\n1.05 -> unchanged\n"
              "1.05 -> 1.08\n1.05 -> 1.08\n1.05 -> 1.08\n1.05 -> 1.05\n");
    EXPECT_NE(run.out.find("Proceeded: 8/8\n"), std::string::npos);
    for (const char* line :
         {"001 127.0.0.2 Standby\n", "001 127.0.0.2 Uploading\n", "004 127.0.0.5 Error1\n",
          "005 127.0.0.6:8080 Completed\n", "008 127.0.0.9 Error2\n"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
    // Each camera got its own settings back.
    for (size_t i : {0, 2, 6})
        EXPECT_EQ(simulator_->Config(i).restoredConfiguration.find(simulator_->Config(i).serial) !=
                      std::string::npos,
                  true)
            << i;
    EXPECT_EQ(simulator_->Ftp(0).flashedVersion, "1.08");
    // Why the two failed, after the log.
    EXPECT_NE(run.err.find("004 127.0.0.5: the camera answered \"HTTP/1.1 500"), std::string::npos)
        << run.err;
    EXPECT_NE(InFolder(run.err).find("008 127.0.0.9: the camera came back with 1.05, expected "
                                     "1.08; the saved configuration is kept in "
                                     "<folder>/vcq-r20.10000008.cfg\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("001 127.0.0.2: "), std::string::npos) << run.err;
}

TEST_F(CliBatch, EveryCameraCompletedExitsZero) {
    StartFleet({"", "", ""});
    Outcome run = RunCli(BatchArgs());
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_EQ(Log(run.out),
              "VCQ-R20(127.0.0.2) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.3) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.4) Completed successfully.\r\n");
}

// The configuration is retained unless the operator says otherwise, as the
// wizard's default is; --retain still reads.
TEST_F(CliBatch, UpgradeAndBatchRetainTheConfigurationByDefault) {
    StartFleet({"", "", "", "", ""});
    const struct {
        const char* command;
        std::vector<std::string> words;
        bool restored;
    } cases[] = {
        {"upgrade", {}, true},
        {"upgrade", {"--no-retain"}, false},
        {"upgrade", {"--retain"}, true},
        {"batch", {"--yes"}, true},
        {"batch", {"--yes", "--no-retain"}, false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::PrintToString(cases[i].words) + cases[i].command);
        std::vector<std::string> args = {cases[i].command, hosts_[i]};
        args.insert(args.end(), cases[i].words.begin(), cases[i].words.end());
        Outcome run = RunCli(With(args));
        EXPECT_EQ(run.code, 0) << run.out << run.err;
        EXPECT_EQ(simulator_->Ftp(i).flashedVersion, "1.08");
        EXPECT_EQ(simulator_->Config(i).restoredConfiguration.find(simulator_->Config(i).serial) !=
                      std::string::npos,
                  cases[i].restored)
            << simulator_->Config(i).restoredConfiguration;
    }
}

TEST_F(CliBatch, CtrlCLetsTheCamerasUnderWayFinishAndDropsTheRest) {
    // Slow uploads, so that the second is still uploading when Ctrl-C comes:
    // it takes the upload line as the first one's versionup goes out (before
    // that, "Uploading" may be a camera prepared beside the upload).
    StartFleet({"", "ftp-rate=300000", "", "", ""});
    vcq::test::CliProcess cli(BatchArgs(), scratch_ / "stderr.txt");
    for (std::string line = cli.ReadLine(); line != "001 127.0.0.2 Overwriting\n";
         line = cli.ReadLine())
        ASSERT_FALSE(line.empty()) << "the first camera never flashed";
    cli.Interrupt();
    Outcome run = cli.Finish();
    EXPECT_EQ(run.code, 130) << "the operator's stop" << run.out << run.err;
    EXPECT_EQ(Log(run.out),
              "VCQ-R20(127.0.0.2) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.3) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.4) Not started.\r\n"
              "VCQ-R20(127.0.0.5) Not started.\r\n"
              "VCQ-R20(127.0.0.6) Not started.\r\n");
    EXPECT_NE(run.out.find("Proceeded: 2/5\n"), std::string::npos);
    // The third may have been prepared beside the upload ("Uploading"), but
    // nothing was sent to it and it was never told to flash.
    EXPECT_TRUE(simulator_->Ftp(2).storedOrder.empty());
    EXPECT_EQ(simulator_->RequestCount(2, "POST /command/main.cgi"), 0);
    EXPECT_EQ(simulator_->RequestCount(3, "POST /command/main.cgi"), 0);
}

TEST_F(CliBatch, RefusesBadWordsAndTheBroadcastOutsideTheIsolatedNetwork) {
    StartFleet({""});
    const std::vector<std::string> bad[] = {
        {"batch", "--user", "admin", "--password", "secret"},
        {"batch", "127.0.0.2", "127.0.0.2:8080", "--user", "admin", "--password", "secret"},
        {"batch", "127.0.0.2", "--user", "admin"},
        {"batch", "127.0.0.2", "--user", "admin", "--password", "secret", "--no-retain",
         "--backup"},
        // No terminal to confirm on: nothing is asked of any camera.
        {"batch", "127.0.0.2", "--user", "admin", "--password", "secret"},
    };
    std::vector<std::string> tooMany = {"batch", "--user", "admin", "--password", "secret"};
    for (int i = 0; i < 257; ++i)
        tooMany.push_back("127.0." + std::to_string(9 + i / 250) + "." +
                          std::to_string(i % 250 + 2));
    for (const auto& args : {bad[0], bad[1], bad[2], bad[3], bad[4], tooMany}) {
        Outcome run = RunCli(args);
        EXPECT_EQ(run.code, 2) << args[1];
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_EQ(simulator_->Requests(0).size(), 0u);

    vcq::test::UnsetEnv("VCQ_ISOLATED");
    Outcome refused =
        RunCli({"batch", "--discover", "--user", "admin", "--password", "secret", "--yes"});
    vcq::test::SetEnv("VCQ_ISOLATED", "1");
    EXPECT_EQ(refused.code, 6) << refused.err;
}

TEST_F(CliBatch, CamerasFromACameraListFileOrStandardInput) {
    StartFleet({kSeenRestarting, "port=8080", ""});
    const fs::path list = scratch_ / "cameras.csv";
    std::ofstream(list, std::ios::binary)
        << "address,port\r\n# lobby\r\n127.0.0.2\r\n\r\n127.0.0.3,8080\r\n";
    std::vector<std::string> args = {"batch", "--csv", list.string()};
    args.insert(args.end(), kLogin.begin(), kLogin.end());
    args.push_back("--yes");
    Outcome run = RunCli(args);
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_EQ(Log(run.out),
              "VCQ-R20(127.0.0.2) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.3:8080) Completed successfully.\r\n");

    // Given addresses come first; the list from standard input after them
    // (127.0.0.2 is at 1.08 now, so up to date unless reflashed).
    std::ofstream(list, std::ios::binary) << "127.0.0.2\n";
    Outcome piped = RunCli({"batch", "127.0.0.4", "--csv", "-", "--user", "admin", "--password",
                            "secret", "--yes", "--allow-reset", "--reflash"},
                           list);
    EXPECT_EQ(piped.code, 0) << piped.out << piped.err;
    EXPECT_EQ(Log(piped.out),
              "VCQ-R20(127.0.0.4) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.2) Completed successfully.\r\n");
}

TEST_F(CliBatch, ARefusedCameraListUpgradesNothing) {
    StartFleet({"", ""});
    struct Case {
        const char* text;
        const char* message;
        std::string where = "";  // the tool's own sentence names the entry and the file's line
    };
    const fs::path list = scratch_ / "cameras.csv";
    const Case cases[] = {
        {"127.0.0.2\n127.0.0.3,1023\n",
         "Invalid address or port number.\nLine002:>127.0.0.3,1023\n"
         "vcq-upgrade-cli batch: the camera list was refused at entry 2, line 2 of"},
        {"127.0.0.2,80\n127.0.0.3:80\n", "Invalid format.\nLine002:>127.0.0.3:80\n"},
        {"IP,Port\n# spare\n127.0.0.2 80\n127.0.0.3\n", "Invalid format.\nLine003:>127.0.0.2 80\n"},
        {"127.0.0.2\n127.0.0.2,8080\n", ""},  // one camera twice
        {"127.0.0.2\n\n\n127.0.0.3,1023\n", "Invalid address or port number.\nLine002:>",
         "entry 2, line 4 of"},
        {"127.0.0.2 \n", "Invalid format.\nLine001:>127.0.0.2 \n",
         "entry 1, line 1 of " + list.string() + " (it ends in a space: ADDRESS or ADDRESS,PORT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::ofstream(list, std::ios::binary) << c.text;
        std::vector<std::string> args = {"batch", "127.0.0.3", "--csv", list.string()};
        args.insert(args.end(), kLogin.begin(), kLogin.end());
        args.push_back("--yes");
        Outcome run = RunCli(args);
        EXPECT_EQ(run.code, 2) << run.out;
        EXPECT_TRUE(run.err.starts_with(c.message)) << run.err;
        if (*c.message) {
            EXPECT_NE(run.err.find("refused at entry "), std::string::npos) << run.err;
        }
        EXPECT_NE(run.err.find(c.where), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    Outcome missing = RunCli({"batch", "--csv", (scratch_ / "none.csv").string(), "--user", "admin",
                              "--password", "secret", "--yes"});
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.err.find("cannot read the camera list"), std::string::npos);
    // Standard input cannot also answer the question before the batch.
    EXPECT_EQ(RunCli({"batch", "--csv", "-", "--user", "admin", "--password", "secret"}).code, 2);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(simulator_->RequestCount(i, "POST /command/ftpserver.cgi"), 0);
}

// One batch as an installer meets it: a camera of another generation, one
// already at the package's version whose old firmware lingers (reflashed on
// purpose), one that refuses its configuration back and one whose login is
// wrong. Each ends with its true outcome and reason; nothing is flashed
// without agreement and no configuration is lost.
TEST_F(CliBatch, EveryCameraEndsWithItsTrueOutcomeAndReason) {
    StartFleet({"version=3.00", "version=1.08,linger=1500," + kSeenRestarting,
                "restore=refuse," + kSeenRestarting, "admin=admin:other"});
    Outcome run = RunCli(BatchArgs({"--retain", "--allow-reset", "--reflash"}));
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    // The printed log, whichever line end the console uses, without the summary after it.
    std::string log = run.out.substr(run.out.find("Upgrade log\n") + 12);
    log = log.substr(0, log.find("Summary: "));
    for (size_t at; (at = log.find("\r\n")) != std::string::npos;)
        log.erase(at, 1);
    log = WithoutRunLines(log);
    const std::string refused = "VCQ-R20(127.0.0.4) Cannot load config.\n    ";
    const size_t keptAt = log.find("kept in ");
    ASSERT_NE(keptAt, std::string::npos) << log;
    const std::string kept = log.substr(keptAt + 8, log.find('\n', keptAt) - keptAt - 8);
    EXPECT_EQ(log.substr(0, log.find(refused)), "VCQ-R20(127.0.0.3) Completed successfully.\n");
    // The camera of another generation was never in the batch: its reason is its line.
    EXPECT_TRUE(log.ends_with(kept + "\nVCQ-R20(127.0.0.5) Login error.\n"
                                     "    Please enter correct user name and password for the "
                                     "administrator.\n"
                                     "VCQ-R20(127.0.0.2) The firmware upgrade cannot be applied "
                                     "to the target camera.\n"))
        << log;
    EXPECT_NE(run.out.find("Proceeded: 3/3\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Summary: 1 completed, 1 failed, 1 configuration not back, 0 up to "
                           "date, 1 not upgradable, 0 not started\n"),
              std::string::npos)
        << run.out;
    // Only the refused configuration is kept; the other went back to the new firmware.
    EXPECT_TRUE(fs::is_regular_file(kept)) << kept;
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(programFiles_))
        files += entry.is_regular_file() && entry.path().extension() == ".cfg";
    EXPECT_EQ(files, 1u);
    EXPECT_EQ(simulator_->RequestCount(0, "POST /command/ftpserver.cgi"), 0);
    EXPECT_EQ(simulator_->RequestCount(3, "POST /command/ftpserver.cgi"), 0);
    const sim::CameraConfig lingering = simulator_->Config(1);
    EXPECT_EQ(lingering.configuration, lingering.restoredConfiguration);
    EXPECT_NE(lingering.restoredConfiguration.find(lingering.serial), std::string::npos);

    // Run again, both now at 1.08 are up to date and left alone: nothing is
    // flashed and that is no failure. Reflashed on purpose they are left out
    // without --allow-reset (--yes is no answer to that); with it, a refused
    // restore alone exits 3.
    hosts_ = {simulator_->HostText(1), simulator_->HostText(2)};
    Outcome again = RunCli(BatchArgs({"--retain"}));
    EXPECT_EQ(again.code, 0) << again.out << again.err;
    EXPECT_EQ(Log(again.out),
              "VCQ-R20(127.0.0.3) The camera already runs the package's version.\r\n"
              "VCQ-R20(127.0.0.4) The camera already runs the package's version.\r\n");
    EXPECT_EQ(simulator_->RequestCount(1, "POST /command/ftpserver.cgi"), 1);
    EXPECT_EQ(simulator_->RequestCount(2, "POST /command/ftpserver.cgi"), 1);
    hosts_ = {simulator_->HostText(1)};
    Outcome left = RunCli(BatchArgs({"--retain", "--reflash"}));
    EXPECT_EQ(left.code, 1) << left.out << left.err;
    EXPECT_NE(left.err.find("127.0.0.3 reports ver1.08"), std::string::npos) << left.err;
    EXPECT_NE(Log(left.out).find("    left out: The current set up information"), std::string::npos)
        << left.out;
    EXPECT_EQ(simulator_->RequestCount(1, "POST /command/main.cgi"), 1);
    hosts_ = {simulator_->HostText(2)};
    Outcome alone = RunCli(BatchArgs({"--retain", "--allow-reset", "--reflash"}));
    EXPECT_EQ(alone.code, 3) << alone.out << alone.err;
}

namespace {

using JsonObject = nlohmann::json;

// Every stdout line as a JSON object; a line that does not parse fails the test.
std::vector<JsonObject> JsonLines(const std::string& out) {
    std::vector<JsonObject> lines;
    size_t at = 0;
    for (size_t end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = out.substr(at, end - at);
        auto object = vcq::ParseEventLine(line);
        EXPECT_TRUE(object) << "not one JSON object: " << line;
        if (object)
            lines.push_back(*object);
    }
    EXPECT_EQ(at, out.size()) << "unterminated last line";
    return lines;
}

std::string Text(const JsonObject& o, const std::string& key) {
    auto it = o.find(key);
    return it == o.end() ? "<missing>" : it->is_string() ? it->get<std::string>() : "";
}

double Number(const JsonObject& o, const std::string& key) {
    auto it = o.find(key);
    return it == o.end() || !it->is_number() ? -1 : it->get<double>();
}

}  // namespace

TEST_F(CliBatch, JsonLinesParseAndTheSummaryAddsUp) {
    StartFleet({"", "status=/command/main.cgi:500", "serial=q\"u\\o\x01t\xff\xc3\xa9",
                "after-reboot=old," + kSeenRestarting, "port=8080"});
    Outcome run = RunCli(BatchArgs({"--retain", "--backup", "--json"}));
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    std::vector<JsonObject> lines = JsonLines(run.out);
    ASSERT_FALSE(lines.empty());

    // Per camera: how it ends, and why.
    const struct {
        std::string address;
        int port;
        const char* outcome;
        int step;
        const char* reason;
    } cameras[] = {
        {"127.0.0.2", 80, "completed", 8, "Completed successfully."},
        {"127.0.0.3", 80, "failed", 9, "Network error (missing target)."},
        {"127.0.0.4", 80, "completed", 8, "Completed successfully."},
        {"127.0.0.5", 80, "failed", 10, "Upgrade sequence error."},
        {"127.0.0.6", 8080, "completed", 8, "Completed successfully."},
    };
    std::map<int, int> ends;
    std::map<int, int> lastStep;
    std::string keptFolder;
    for (const JsonObject& line : lines) {
        const std::string event = Text(line, "event");
        if (event == "summary")
            continue;
        ASSERT_TRUE(event == "status" || event == "end") << event;
        const int id = static_cast<int>(Number(line, "id"));
        ASSERT_GE(id, 1);
        ASSERT_LE(id, 5);
        const auto& camera = cameras[id - 1];
        EXPECT_EQ(Text(line, "address"), camera.address);
        EXPECT_EQ(Number(line, "port"), camera.port);
        EXPECT_EQ(Text(line, "model"), "VCQ-R20");
        EXPECT_FALSE(Text(line, "status").empty());
        const int step = static_cast<int>(Number(line, "step"));
        EXPECT_GE(step, lastStep[id]) << "steps only move forward";
        lastStep[id] = step;
        if (event == "end") {
            ++ends[id];
            SCOPED_TRACE(camera.address);
            EXPECT_EQ(Text(line, "outcome"), camera.outcome);
            EXPECT_EQ(step, camera.step);
            EXPECT_EQ(Text(line, "reason"), camera.reason);
            EXPECT_EQ(Text(line, "detail").empty(), camera.step == 8);
            // Every configuration was saved (--backup), failed or not.
            ASSERT_TRUE(line.at("kept").is_string());
            EXPECT_TRUE(fs::exists(Text(line, "kept"))) << Text(line, "kept");
            keptFolder = fs::path(Text(line, "kept")).parent_path().string();
            EXPECT_GE(Number(line, "elapsed"), 0.0);
            EXPECT_LT(Number(line, "elapsed"), 120.0);
            // Every camera got the package; its phase times are the job's own.
            EXPECT_GT(Number(line, "upload_ms"), 0.0);
            // A completed camera applied what it took back (step 7's pause).
            EXPECT_EQ(Number(line, "apply_ms") >= 1000.0, camera.step == 8);
        }
    }
    // Escaped and read back whole; a byte that is no UTF-8 becomes U+FFFD.
    EXPECT_EQ(Text(lines[2], "serial"), "q\"u\\o\x01t\xEF\xBF\xBD\xC3\xA9");
    for (int id = 1; id <= 5; ++id)
        EXPECT_EQ(ends[id], 1) << "one end event for camera " << id;

    const JsonObject& summary = lines.back();
    ASSERT_EQ(Text(summary, "event"), "summary");
    EXPECT_EQ(Number(summary, "completed"), 3);
    EXPECT_EQ(Number(summary, "failed"), 2);
    EXPECT_EQ(Number(summary, "not_started"), 0);
    double total = 0;
    for (const char* outcome :
         {"completed", "failed", "config_not_restored", "up_to_date", "refused", "not_started"})
        total += Number(summary, outcome);
    EXPECT_EQ(total, 5);
    const std::string log = Text(summary, "log");
    EXPECT_EQ(fs::path(log).filename(), "upgrade-log.txt");
    EXPECT_EQ(fs::path(log).parent_path(), keptFolder) << "beside the backups";
    // Every row names the file it left (--backup keeps them all).
    EXPECT_EQ(InFolder(WithoutRunLines(ReadWholeFile(log))),
              "VCQ-R20(127.0.0.2) Completed successfully.\r\n"
              "    the saved configuration is kept in <folder>/vcq-r20.10000001.cfg\r\n"
              "VCQ-R20(127.0.0.3) Network error (missing target).\r\n"
              "    the camera answered \"HTTP/1.1 500 Internal Server Error\" to "
              "System=versionup; the saved configuration is kept in "
              "<folder>/vcq-r20.10000002.cfg\r\n"
              "VCQ-R20(127.0.0.4) Completed successfully.\r\n"
              "    the saved configuration is kept in <folder>/vcq-r20.q_u_o_t___.cfg\r\n"
              "VCQ-R20(127.0.0.5) Upgrade sequence error.\r\n"
              "    the camera came back with 1.05, expected 1.08; the saved configuration is "
              "kept in <folder>/vcq-r20.10000004.cfg\r\n"
              "VCQ-R20(127.0.0.6:8080) Completed successfully.\r\n"
              "    the saved configuration is kept in <folder>/vcq-r20.10000005.cfg\r\n");
}

// What the batch does with each camera, told as scripts read it: up to date,
// of another generation and newer before it starts, the others at their end;
// with the versions before and after and when each began and ended. A second
// run leaves the upgraded cameras alone; the newer one is downgraded only on
// the operator's word.
TEST_F(CliBatch, EachCameraEndsWithItsOutcomeVersionsAndTimes) {
    StartFleet({"", "version=1.08", "version=3.00", "version=1.10", "restore=refuse"});
    Outcome run = RunCli(BatchArgs({"--retain", "--json"}));
    EXPECT_EQ(run.code, 3) << run.out << run.err;  // the one shortfall: a configuration not back
    const struct {
        const char* outcome;
        const char* before;
        const char* after;  // "" for null
        bool started;
        int uploads;
    } cameras[] = {
        {"completed", "1.05", "1.08", true, 1},
        {"up_to_date", "1.08", "1.08", false, 0},
        {"refused", "3.00", "3.00", false, 0},
        {"refused", "1.10", "1.10", false, 0},  // never downgraded unasked
        {"config_not_restored", "1.05", "1.08", true, 1},
    };
    const std::regex isoLocal(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
    std::map<std::string, int> ends;
    std::vector<JsonObject> lines = JsonLines(run.out);
    for (const JsonObject& line : lines) {
        if (Text(line, "event") != "end")
            continue;
        const std::string address = Text(line, "address");
        const size_t i = std::stoul(address.substr(address.rfind('.') + 1)) - 2;
        ASSERT_LT(i, std::size(cameras));
        const auto& camera = cameras[i];
        SCOPED_TRACE(address);
        ++ends[address];
        EXPECT_EQ(Text(line, "outcome"), camera.outcome);
        EXPECT_EQ(Text(line, "version_before"), camera.before);
        if (*camera.after)
            EXPECT_EQ(Text(line, "version_after"), camera.after);
        else
            EXPECT_TRUE(line.at("version_after").is_null());
        for (const char* moment : {"started", "ended"}) {
            if (camera.started)
                EXPECT_TRUE(std::regex_match(Text(line, moment), isoLocal)) << Text(line, moment);
            else
                EXPECT_TRUE(line.at(moment).is_null());
        }
        EXPECT_FALSE(Text(line, "reason").empty());
        if (i == 3) {
            EXPECT_EQ(Text(line, "reason"), "newer than this program's firmware (1.10 > 1.08)");
        }
        EXPECT_EQ(simulator_->RequestCount(i, "POST /command/ftpserver.cgi"), camera.uploads);
    }
    EXPECT_EQ(ends.size(), std::size(cameras));
    const JsonObject& summary = lines.back();
    ASSERT_EQ(Text(summary, "event"), "summary");
    for (const char* outcome : {"completed", "config_not_restored", "up_to_date"})
        EXPECT_EQ(Number(summary, outcome), 1) << outcome;
    EXPECT_EQ(Number(summary, "refused"), 2);
    EXPECT_EQ(Number(summary, "failed") + Number(summary, "not_started"), 0);

    // Again, as an installer catching stragglers: nothing is flashed a
    // second time, and the newer camera only with --allow-downgrade.
    Outcome again = RunCli(BatchArgs({"--retain"}));
    EXPECT_EQ(again.code, 0) << again.out << again.err;  // set aside on purpose is no failure
    EXPECT_TRUE(
        again.out.ends_with("Summary: 0 completed, 0 failed, 0 configuration not back, 3 "
                            "up to date, 2 not upgradable, 0 not started\n"))
        << again.out;
    for (size_t i = 0; i < std::size(cameras); ++i)
        EXPECT_EQ(simulator_->RequestCount(i, "POST /command/ftpserver.cgi"), cameras[i].uploads);
    hosts_ = {simulator_->HostText(3)};
    Outcome older = RunCli(BatchArgs({"--retain", "--allow-downgrade"}));
    EXPECT_EQ(older.code, 0) << older.out << older.err;
    EXPECT_EQ(simulator_->Config(3).softVersion, "1.08");
}

// Cameras switched on after the batch's first identify, reached only at
// their turn (behind a slow upload): each job's own check reads the serial
// that names the backup and the record, and one already at the package's
// version is up to date, not flashed, --allow-reset or not.
TEST_F(CliBatch, ACameraAppearingAfterTheIdentifyIsJudgedAtItsTurn) {
    // The third is checked once the second takes the upload line, about 3 s in.
    StartFleet({"ftp-rate=150000", "ftp-rate=150000", "appear-after=2000",
                "appear-after=2000,version=1.08"});
    Outcome run = RunCli(BatchArgs({"--retain", "--backup", "--allow-reset", "--json"}));
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    const std::map<std::string, std::pair<std::string, std::string>> expected = {
        {"127.0.0.2", {"completed", "10000001"}},
        {"127.0.0.3", {"completed", "10000002"}},
        {"127.0.0.4", {"completed", "10000003"}},
        {"127.0.0.5", {"up_to_date", "10000004"}}};
    size_t ends = 0;
    for (const JsonObject& line : JsonLines(run.out)) {
        if (Text(line, "event") != "end")
            continue;
        ++ends;
        const std::string address = Text(line, "address");
        EXPECT_EQ(Text(line, "outcome"), expected.at(address).first) << address;
        EXPECT_EQ(Text(line, "serial"), expected.at(address).second) << address;
        EXPECT_EQ(Text(line, "model"), "VCQ-R20") << address;
    }
    EXPECT_EQ(ends, 4u);
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(programFiles_))
        if (entry.path().extension() == ".cfg")
            files.insert(entry.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"vcq-r20.10000001.cfg", "vcq-r20.10000002.cfg",
                                            "vcq-r20.10000003.cfg"}));
    EXPECT_EQ(simulator_->RequestCount(3, "POST /command/ftpserver.cgi"), 0);
}

// A dry run of a mixed fleet says what the batch would do with each camera
// and why, and the cameras hear nothing but inquiries. Logins come from a
// file for one camera and from the environment for the others.
TEST_F(CliBatch, DryRunJudgesEachCameraAndChangesNothing) {
    const struct {
        const char* settings;
        const char* line;  // after "ID ADDRESS "
    } fleet[] = {
        {"", "upgrade: 1.05 to 1.08"},
        {"version=1.08", "up to date: already at 1.08"},
        {"admin=admin:Kx-5530", "upgrade: 1.05 to 1.08"},  // its own login, from the file
        {"admin=admin:Kx-5531", "left out: login refused"},
        {"free=1000", "left out: too little free memory"},
        {"version=3.00", "left out: The firmware upgrade cannot be applied"},
        {"image-memory=on", "left out: the camera's check failed"},
        {"version=1.09", "left out: newer than this program's firmware (1.09 > 1.08)"},
    };
    std::vector<std::string> settings;
    for (const auto& camera : fleet)
        settings.push_back(camera.settings);
    StartFleet(settings);
    const fs::path logins = scratch_ / "logins.txt";
    const std::string& third = hosts_[2];
    std::ofstream(logins, std::ios::binary)
        << vcq::test::Utf16File(u"# own logins\r\n" + std::u16string(third.begin(), third.end()) +
                                u",80,admin,Kx-5530\r\n");
    std::vector<std::string> args = {"batch"};
    args.insert(args.end(), hosts_.begin(), hosts_.end());
    vcq::test::SetEnv("VCQ_PASSWORD", "secret");
    Outcome run = RunCli(With(args, {"--user", "admin", "--logins", logins.string(), "--dry-run"}));
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    for (size_t i = 0; i < hosts_.size(); ++i) {
        char id[24];
        std::snprintf(id, sizeof id, "%03zu ", i + 1);
        EXPECT_NE(("\n" + run.out).find(std::string("\n") + id + hosts_[i] + " " + fleet[i].line),
                  std::string::npos)
            << fleet[i].settings << "\n"
            << run.out;
    }
    EXPECT_NE(run.out.find("Dry run: 2 to upgrade, 1 up to date, 5 left out"), std::string::npos);
    for (size_t i = 0; i < hosts_.size(); ++i) {
        for (const std::string& request : simulator_->Requests(i))
            EXPECT_TRUE(request.starts_with("POST /command/inquiry.cgi ")) << request;
        EXPECT_EQ(simulator_->Ftp(i).flashedVersion, "");
    }
    EXPECT_FALSE(fs::exists(programFiles_ / "TEZO")) << "nothing saved";

    // Agreeing to the reset, the fit cameras all go: exit 0, in JSON too.
    Outcome fit = RunCli(
        {"batch", hosts_[0], hosts_[1], "--user", "admin", "--allow-reset", "--dry-run", "--json"});
    vcq::test::UnsetEnv("VCQ_PASSWORD");
    EXPECT_EQ(fit.code, 0) << fit.out << fit.err;
    const std::vector<JsonObject> lines = JsonLines(fit.out);
    ASSERT_EQ(lines.size(), 3u) << fit.out;
    EXPECT_EQ(Text(lines[0], "action"), "upgrade");
    EXPECT_EQ(Text(lines[1], "action"), "up_to_date");
    EXPECT_EQ(Text(lines[1], "version"), "1.08");
    EXPECT_EQ(Number(lines[2], "left_out"), 0);
    for (const Outcome& o : {run, fit})
        for (const char* secret : {"secret", "Kx-553"})
            EXPECT_EQ((o.out + o.err).find(secret), std::string::npos) << o.out << o.err;

    // A wrong line of the logins file is named by its number, never shown.
    std::ofstream(logins, std::ios::binary) << hosts_[0] << ",admin,Kx-5530\n\n"
                                            << hosts_[1] << ",Kx-5539\n";
    Outcome wrong = RunCli({"batch", "--logins", logins.string(), "--dry-run"});
    EXPECT_EQ(wrong.code, 2);
    EXPECT_NE(wrong.err.find("line 3 is not ADDRESS[,PORT],USER,PASSWORD"), std::string::npos)
        << wrong.err;
    EXPECT_EQ(wrong.err.find("Kx-553"), std::string::npos) << wrong.err;
}

TEST_F(CliBatch, FailedListThenCsvUpgradesExactlyTheFailedCameras) {
    // Two faulty cameras, one of them on another port.
    StartFleet({"", "fault=refuse", "", "port=8080,status=/command/main.cgi:500", ""});
    const fs::path failed = scratch_ / "failed.csv";
    Outcome first = RunCli(BatchArgs({"--failed-list", failed.string()}));
    EXPECT_EQ(first.code, 1) << first.out << first.err;
    EXPECT_EQ(ReadWholeFile(failed), "127.0.0.3\n127.0.0.5,8080\n");
    // The text run names its log file too.
    const std::string logFile = Line(first.out, "Log file");
    EXPECT_EQ(InFolder(WithoutRunLines(ReadWholeFile(logFile))), Log(first.out));

    // The same addresses, healthy now: only the two listed are asked anything.
    simulator_.reset();
    hosts_.clear();
    StartFleet({"", "", "", "port=8080", ""});
    std::vector<std::string> retry = {"batch",         "--csv",         failed.string(),
                                      "--failed-list", failed.string(), "--yes"};
    retry.insert(retry.end(), kLogin.begin(), kLogin.end());
    Outcome second = RunCli(retry);
    EXPECT_EQ(second.code, 0) << second.out << second.err;
    EXPECT_EQ(Log(second.out),
              "VCQ-R20(127.0.0.3) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.5:8080) Completed successfully.\r\n");
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(simulator_->RequestCount(i, "POST /command/main.cgi"), i == 1 || i == 3 ? 1 : 0)
            << i;
    EXPECT_EQ(ReadWholeFile(failed), "") << "all completed: an empty list";
}

TEST_F(CliBatch, InServiceLetsMoreRebootButNeverTwoUploadsAtOnce) {
    // The first six reboot for long enough that the five cameras after the
    // first have uploaded one by one before it is back, even under a
    // sanitizer on a loaded machine (an upload takes well under a second
    // there, seconds under wine); the rest reboot quickly.
    const std::string slowReboot = vcq::test::UnderWine() ? "reboot=40000" : "reboot=20000";
    std::vector<std::string> fleet(12, "");
    std::fill_n(fleet.begin(), 6, slowReboot);
    StartFleet(fleet);
    Outcome run = RunCli(BatchArgs({"--json", "--in-service", "8"}));
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    std::map<int, int> stepOf;
    size_t mostInService = 0;
    for (const JsonObject& line : JsonLines(run.out)) {
        if (Text(line, "event") != "status")
            continue;
        stepOf[static_cast<int>(Number(line, "id"))] = static_cast<int>(Number(line, "step"));
        size_t inService = 0;
        for (const auto& [id, step] : stepOf)
            inService += step >= 1 && step <= 7;
        EXPECT_LE(inService, 8u);
        mostInService = std::max(mostInService, inService);
    }
    EXPECT_GT(mostInService, 4u) << "more than the default were in service";
    // The cameras saw one file at a time: uploads never overlap, whatever
    // the status lines sampled while one camera handed the line to the next.
    EXPECT_EQ(simulator_->MostStoringAtOnce(), 1);

    for (const char* bad : {"0", "17", "4x", ""}) {
        Outcome refused = RunCli(BatchArgs({"--in-service", bad}));
        EXPECT_EQ(refused.code, 2) << bad;
        EXPECT_NE(refused.err.find("--in-service"), std::string::npos) << refused.err;
    }
}

TEST_F(CliBatch, AnAbortedJsonBatchCountsAndListsTheCamerasItDropped) {
    StartFleet({"", "ftp-rate=300000", "", "", ""});
    const fs::path failed = scratch_ / "failed.csv";
    vcq::test::CliProcess cli(BatchArgs({"--json", "--failed-list", failed.string()}),
                              scratch_ / "stderr.txt");
    // The second uploads once the first has flashed.
    for (std::string line = cli.ReadLine(); line.find("\"id\":1,") == std::string::npos ||
                                            line.find("\"step\":3,") == std::string::npos;
         line = cli.ReadLine())
        ASSERT_FALSE(line.empty()) << "the first camera never flashed";
    cli.Interrupt();
    Outcome run = cli.Finish();
    EXPECT_EQ(run.code, 130) << run.out << run.err;
    std::vector<JsonObject> lines = JsonLines(run.out);
    ASSERT_FALSE(lines.empty());
    std::map<std::string, int> outcomes;
    for (const JsonObject& line : lines)
        if (Text(line, "event") == "end")
            ++outcomes[Text(line, "outcome")];
    EXPECT_EQ(outcomes, (std::map<std::string, int>{{"completed", 2}, {"not_started", 3}}));
    const JsonObject& summary = lines.back();
    EXPECT_EQ(Text(summary, "event"), "summary");
    EXPECT_EQ(Number(summary, "completed"), 2);
    EXPECT_EQ(Number(summary, "failed"), 0);
    EXPECT_EQ(Number(summary, "not_started"), 3);
    EXPECT_EQ(ReadWholeFile(failed), "127.0.0.4\n127.0.0.5\n127.0.0.6\n");
    // The log names the cameras the abort left out, too.
    EXPECT_EQ(WithoutRunLines(ReadWholeFile(Text(summary, "log"))),
              "VCQ-R20(127.0.0.2) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.3) Completed successfully.\r\n"
              "VCQ-R20(127.0.0.4) Not started.\r\n"
              "VCQ-R20(127.0.0.5) Not started.\r\n"
              "VCQ-R20(127.0.0.6) Not started.\r\n");
}

// Ctrl-C twice, or a request to end, while a camera uploads: the tool says
// what it waits for, then cuts the cameras under way off, ends the upload
// (no versionup follows), writes the log and the failed list, and exits 130.
TEST_F(CliBatch, ASecondCtrlCOrARequestToEndCutsTheCamerasOffAndStillWritesTheLog) {
    struct Row {
        const char* name;
        bool twoInterrupts;  // else one request to end (SIGTERM, Ctrl-Break)
    };
    const Row rows[] = {{"two Ctrl-C", true}, {"a request to end", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Wine does not deliver a generated Ctrl-Break to another console.
        if (!row.twoInterrupts && vcq::test::UnderWine())
            continue;
        // The second camera's upload lasts long enough to be cut off.
        StartFleet({"", "ftp-rate=20000", "", ""});
        const fs::path failed = scratch_ / "failed.csv";
        const fs::path errors = scratch_ / "stderr.txt";
        vcq::test::CliProcess cli(BatchArgs({"--retain", "--failed-list", failed.string()}),
                                  errors);
        for (std::string line = cli.ReadLine(); line != "002 127.0.0.3 Uploading\n";
             line = cli.ReadLine())
            ASSERT_FALSE(line.empty()) << "the second camera never uploaded";
        if (row.twoInterrupts) {
            cli.Interrupt();
            // The second Ctrl-C once the first was heard (two at once are one signal).
            for (int wait = 0;
                 wait < 600 && ReadWholeFile(errors).find("waiting for") == std::string::npos;
                 ++wait)
                std::this_thread::sleep_for(50ms);
            cli.Interrupt();
        } else {
            cli.Stop();
        }
        Outcome run = cli.Finish();
        EXPECT_EQ(run.code, 130) << run.out << run.err;
        if (row.twoInterrupts) {
            EXPECT_NE(run.err.find("batch: waiting for"), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("002 127.0.0.3 (Uploading)"), std::string::npos) << run.err;
        }
        const std::string log = Log(run.out);
        EXPECT_NE(log.find("VCQ-R20(127.0.0.3) Network error (missing target).\r\n"
                           "    cut off while Uploading (step 2); the saved configuration is "
                           "kept in "),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("VCQ-R20(127.0.0.4) Not started.\r\n"
                           "VCQ-R20(127.0.0.5) Not started.\r\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(InFolder(WithoutRunLines(ReadWholeFile(Line(run.out, "Log file")))), log);
        EXPECT_NE(ReadWholeFile(failed).find("127.0.0.3\n127.0.0.4\n127.0.0.5\n"),
                  std::string::npos);
        EXPECT_EQ(simulator_->RequestCount(1, "POST /command/main.cgi"), 0)
            << "no versionup after a cut-off upload";
        simulator_.reset();
        hosts_.clear();
    }
}

// A request to end in any phase ends the tool within two seconds, its log
// written: every exchange of a camera, its check's and its restore's too,
// stops when its job is stopped.
TEST_F(CliBatch, ARequestToEndStopsEveryPhaseWithinTwoSeconds) {
    if (vcq::test::UnderWine())
        GTEST_SKIP() << "wine does not deliver a generated Ctrl-Break to another console";
    const struct {
        const char* camera;
        const char* status;    // the phase's status line, stopped once it shows
        const char* retryDry;  // what `retry --dry-run` then says of it
    } rows[] = {
        {"delay=8000", "Searching", "upgrade: 1.05 to 1.08"},
        {"config-end=stall:100", "Saving config file", "upgrade: 1.05 to 1.08"},
        {"ftp-rate=20000", "Uploading", "upgrade: 1.05 to 1.08"},
        // Its old firmware still answers: the retry would wait, not flash again.
        {"linger=20000,poll-stall=20", "Overwriting", "restore: it may still be writing"},
        {"restore-delay=20000", "Loading config file", "restore: configuration only"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.camera);
        StartFleet({row.camera});
        vcq::test::CliProcess cli(BatchArgs({"--retain"}), scratch_ / "stderr.txt");
        const std::string awaited = "001 127.0.0.2 " + std::string(row.status) + "\n";
        for (std::string line = cli.ReadLine(); line != awaited; line = cli.ReadLine())
            ASSERT_FALSE(line.empty()) << "never " << row.status;
        std::this_thread::sleep_for(300ms);  // inside the phase's exchange
        const auto asked = std::chrono::steady_clock::now();
        cli.Stop();
        Outcome run = cli.Finish();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
        EXPECT_EQ(run.code, 130) << run.out << run.err;
        EXPECT_TRUE(fs::is_regular_file(fs::path(Line(run.out, "Log file")))) << run.out;
        const Outcome dry =
            RunCli(With({"retry", Line(run.out, "Log file"), "--dry-run", "--yes"}));
        EXPECT_NE(dry.out.find("001 127.0.0.2 " + std::string(row.retryDry)), std::string::npos)
            << dry.out << dry.err;
        simulator_.reset();
        hosts_.clear();
    }
}

namespace {

// The end event of each camera, by address.
std::map<std::string, JsonObject> EndsByAddress(const std::string& jsonLines) {
    std::map<std::string, JsonObject> ends;
    for (const JsonObject& line : JsonLines(jsonLines))
        if (Text(line, "event") == "end")
            ends[Text(line, "address")] = line;
    return ends;
}

}  // namespace

// A batch with a refused restore, a wrong login and two cameras that came
// back wrong; the cameras are mended, and `retry LOG` gives each what its
// end asks: an upgraded camera only its configuration, never a firmware.
TEST_F(CliBatch, RetryRestoresTheUpgradedAndUpgradesOnlyWhatMustBe) {
    const struct {
        const char* settings;
        const char* first;  // the first batch's outcome
        const char* retry;  // the retry's outcome; "" for not retried
        int uploads;        // firmware uploads over both runs
        bool retryFlashes;  // the retry's own "versionup"
    } fleet[] = {
        {"", "completed", "", 1, false},
        {"restore=refuse", "config_not_restored", "completed", 1, false},
        {"", "failed", "completed", 1, true},  // wrong login, mended
        // Not at the target: upgraded.
        {"after-reboot=old,reboot=11000", "failed", "completed", 2, true},
        // Mended to the target: restored.
        {"next-version=1.07,reboot=11000", "failed", "completed", 1, false},
    };
    std::vector<std::string> settings;
    for (const auto& camera : fleet)
        settings.push_back(camera.settings);
    StartFleet(settings);
    std::vector<std::string> originals;
    for (size_t i = 0; i < hosts_.size(); ++i)
        originals.push_back(sim::ConfigurationFile(simulator_->Config(i)));
    const fs::path logins = scratch_ / "logins.txt";
    std::ofstream(logins, std::ios::binary) << hosts_[2] << ",80,admin,wrong\n";
    const fs::path failed = scratch_ / "failed.csv";
    Outcome first =
        RunCli(BatchArgs({"--logins", logins.string(), "--failed-list", failed.string()}));
    EXPECT_EQ(first.code, 1) << first.out << first.err;
    // The failed list leaves the cameras told to flash to `retry`, and `--csv` reads it.
    EXPECT_EQ(ReadWholeFile(failed),
              "# not listed: 3 told to flash, configuration kept; vcq-upgrade-cli retry LOG "
              "checks them and puts it back\n127.0.0.4\n");
    Outcome dry = RunCli(With({"batch", "--csv", failed.string(), "--dry-run"}));
    EXPECT_NE(dry.out.find("Dry run: 1 to upgrade"), std::string::npos) << dry.out << dry.err;

    // Saved beside the log without --json: what `retry` reads back.
    const std::string log = Line(first.out, "Log file");
    const fs::path events = Path(log).replace_extension(".jsonl");
    std::map<std::string, JsonObject> ends = EndsByAddress(ReadWholeFile(events));
    ASSERT_EQ(ends.size(), std::size(fleet)) << ReadWholeFile(events);
    std::map<std::string, std::string> kept;  // the first run's file, by address
    for (size_t i = 0; i < hosts_.size(); ++i) {
        const JsonObject& end = ends[hosts_[i]];
        EXPECT_EQ(Text(end, "outcome"), fleet[i].first) << hosts_[i];
        if (end.at("kept").is_string())
            kept[hosts_[i]] = ReadWholeFile(Path(Text(end, "kept")));
    }
    ASSERT_EQ(kept.size(), 3u) << "the refused restore and both cameras that came back wrong";

    simulator_->Update(1,
                       [](sim::CameraConfig& c) { c.restoreAnswer = sim::RestoreAnswer::Accept; });
    simulator_->Update(3, [](sim::CameraConfig& c) { c.afterReboot = sim::AfterReboot::Flashed; });
    simulator_->Update(4, [](sim::CameraConfig& c) {
        c.softVersion = "1.08";
        c.versionAfterUpgrade.clear();
    });
    // Its events file or its folder stand for the log; a dry run sends nothing.
    Outcome retryDry = RunCli(With({"retry", events.string(), "--dry-run", "--yes"}));
    EXPECT_EQ(retryDry.code, 0) << retryDry.out << retryDry.err;
    EXPECT_NE(retryDry.out.find("Dry run: 2 to upgrade, 0 up to date, 0 left out, 2 "
                                "configuration only"),
              std::string::npos)
        << retryDry.out;
    // Asked as its job will ask it: still on the old firmware, upgraded first.
    EXPECT_NE(retryDry.out.find(hosts_[3] + " upgrade: 1.05 to 1.08, then its configuration"),
              std::string::npos)
        << retryDry.out;
    Outcome retry = RunCli(With({"retry", Path(log).parent_path().string(), "--yes", "--json"}));
    EXPECT_EQ(retry.code, 0) << retry.out << retry.err;
    ends = EndsByAddress(retry.out);
    for (size_t i = 0; i < hosts_.size(); ++i) {
        SCOPED_TRACE(hosts_[i]);
        EXPECT_EQ(ends.count(hosts_[i]) ? Text(ends[hosts_[i]], "outcome") : "", fleet[i].retry);
        if (ends.count(hosts_[i])) {
            EXPECT_EQ(Number(ends[hosts_[i]], "id"), i + 1) << "the first batch's id";
            EXPECT_EQ(ends[hosts_[i]].at("versionup"), fleet[i].retryFlashes);
            EXPECT_EQ(ends[hosts_[i]].at("flashed"), true);
        }
        EXPECT_EQ(simulator_->RequestCount(i, "POST /command/ftpserver.cgi"), fleet[i].uploads);
        EXPECT_EQ(simulator_->Config(i).softVersion, "1.08");
        // Each has the configuration it had before the first batch.
        EXPECT_EQ(simulator_->Config(i).configuration, originals[i]);
        if (kept.count(hosts_[i])) {
            EXPECT_EQ(simulator_->Config(i).restoredConfiguration, kept[hosts_[i]]);
        }
    }
    EXPECT_EQ(Text(JsonLines(retry.out).back(), "event"), "summary");

    // A log without its events, and events that are not a batch's: refused.
    const fs::path foreign = scratch_ / "upgrade-log.txt";
    std::ofstream(foreign) << "not ours\n";
    Outcome missing = RunCli(With({"retry", foreign.string(), "--yes"}));
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("has no batch events beside it"), std::string::npos) << missing.err;
    std::ofstream(scratch_ / "upgrade-log.jsonl") << "{\"event\":\"end\"}\n";
    Outcome garbled = RunCli(With({"retry", foreign.string(), "--yes"}));
    EXPECT_EQ(garbled.code, 1);
    EXPECT_NE(garbled.err.find("line 1 is not a whole camera's end"), std::string::npos)
        << garbled.err;
}

// Fleets as cron and deployment scripts meet them: the exit code they act on,
// and each camera's end in the events, under the id of its place in the list
// in the dry run and the run alike.
TEST_F(CliBatch, FleetCasesEndWithExitAndReasonCodesAScriptCanActOn) {
    const struct {
        const char* what;
        std::vector<std::string> fleet;
        std::vector<std::string> args;
        int exit;
        std::vector<std::string> codes;  // each camera's reason_code, in the order given
        bool logSaved = true;            // in a dated folder, named by the summary
    } cases[] = {
        {"another generation set aside on purpose",
         {"", "version=3.00"},
         {},
         0,
         {"completed", "other_generation"}},
        {"a failed camera", {"", "admin=admin:other"}, {}, 1, {"completed", "login_refused"}},
        {"a serial that cannot name the backup", {"serial="}, {}, 1, {"serial_unreadable"}},
        {"an FTP login left idle while another camera uploads",
         {"ftp-rate=200000", "ftp-idle=100"},
         {},
         0,
         {"completed", "completed"}},
        // It answered: not a camera that never did.
        {"a model the package is not for", {"model=VCQ-X99"}, {}, 1, {"check_failed"}},
        {"a login that is not the administrator's",
         {"admin=root:root,user=admin:secret"},
         {},
         1,
         {"not_administrator"}},
        {"configuration not back",
         {"restore=refuse", "version=3.00"},
         {},
         3,
         {"restore_refused", "other_generation"}},
        {"up to date, newer set aside, and one back with its old version",
         {"version=1.08", "version=1.10", "after-reboot=old," + kSeenRestarting},
         {},
         1,
         {"up_to_date", "newer_than_package", "came_back_old"}},
        {"a canary's stop-loss",
         {"admin=admin:other", "", ""},
         {"--in-service", "1", "--max-failures", "1"},
         1,
         {"login_refused", "stopped_after_failures", "stopped_after_failures"}},
        {"nothing to do leaves no folder",
         {"version=1.08", "version=3.00"},
         {},
         0,
         {"up_to_date", "other_generation"},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        simulator_.reset();
        hosts_.clear();
        StartFleet(c.fleet);
        const Outcome dry = RunCli(BatchArgs(With(c.args, {"--json", "--dry-run"})));
        const Outcome run = RunCli(BatchArgs(With(c.args, {"--json"})));
        EXPECT_EQ(run.code, c.exit) << run.out << run.err;
        std::map<std::string, JsonObject> ends = EndsByAddress(run.out);
        std::map<std::string, JsonObject> judged;
        for (const JsonObject& line : JsonLines(dry.out))
            judged[Text(line, "address")] = line;
        for (size_t i = 0; i < hosts_.size(); ++i) {
            SCOPED_TRACE(hosts_[i]);
            EXPECT_EQ(Text(ends[hosts_[i]], "reason_code"), c.codes[i]);
            EXPECT_EQ(Number(ends[hosts_[i]], "id"), i + 1);
            EXPECT_EQ(Number(judged[hosts_[i]], "id"), i + 1);
            EXPECT_FALSE(Text(judged[hosts_[i]], "version").empty()) << "every camera answers";
            // A dry run tells what a check finds before anything is sent.
            const bool checked = c.codes[i] != "completed" && c.codes[i] != "restore_refused" &&
                                 c.codes[i] != "came_back_old" &&
                                 c.codes[i] != "stopped_after_failures";
            EXPECT_EQ(Text(judged[hosts_[i]], "reason_code"), checked ? c.codes[i] : "upgrade");
        }
        EXPECT_EQ(!Text(JsonLines(run.out).back(), "log").empty(), c.logSaved);
        const bool stopLoss = c.codes.back() == "stopped_after_failures";
        EXPECT_EQ(Number(JsonLines(run.out).back(), "stopped_after_failures"), stopLoss ? 1 : -1);
        for (size_t i = 0; stopLoss && i < hosts_.size(); ++i)
            EXPECT_EQ(simulator_->RequestCount(i, "POST /command/ftpserver.cgi"), 0);
    }
}
