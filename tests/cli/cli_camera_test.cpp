// vcq-upgrade-cli check, backup, restore and upgrade, run as a program
// against a stand-in camera on 127.0.0.2:80 and :21. These run only inside
// tests/isolated.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "isolated_env.h"
#include "run_command.h"
#include "simulator.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
namespace sim = vcq::sim;

namespace {

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CliCamera : public ::testing::Test {
  protected:
    void SetUp() override {
        VCQ_REQUIRE_ISOLATED_NETWORK();
        scratch_ = fs::temp_directory_path() /
                   ("vcq-cli-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(scratch_);
        fs::create_directories(scratch_);
        setenv("ProgramFiles", (scratch_ / "pf").c_str(), 1);
    }
    void TearDown() override {
        simulator_.reset();
        unsetenv("ProgramFiles");
        if (!scratch_.empty())
            fs::remove_all(scratch_);
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

    Outcome RunCli(const std::vector<std::string>& args) {
        const fs::path errFile = scratch_ / "stderr.txt";
        std::string command = Quote(VCQ_CLI);
        for (const auto& a : args)
            command += " " + Quote(a);
        command += " 2>" + Quote(errFile.string()) + " </dev/null";
        vcq::test::CommandOutput output = vcq::test::RunCommand(command);
        Outcome run;
        run.code = output.code;
        run.out = output.out;
        run.err = ReadFile(errFile);
        return run;
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

    fs::path scratch_;
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
    StartCamera([](sim::CameraConfig& c) { c.softVersion = "1.07"; });
    Outcome run = RunCli(With({"check", "127.0.0.2"}));
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "model: VCQ-R20\nversion: 1.07\nserial: 123456\n");
    EXPECT_EQ(run.err, "");
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
    };
    for (const Case& c : cases) {
        StartCamera(c.adjust);
        Outcome run = RunCli(With({"check", "127.0.0.2"}, c.login));
        EXPECT_EQ(run.code, 1) << c.message;
        // The operator's message first; a line with the reason may follow.
        EXPECT_EQ(run.err.substr(0, c.message.size() + 1), c.message + "\n");
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
        {"upgrade", "127.0.0.2", "--user", "admin", "--password", "secret", "--backup"},
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
    EXPECT_EQ(path.rfind((scratch_ / "pf").string(), 0), 0u) << path;
    EXPECT_TRUE(ReadFile(path) == settings);

    simulator_->Update(0, [](sim::CameraConfig& c) { c.configuration = "factory"; });
    Outcome restored = RunCli({"restore", "127.0.0.2", path});
    EXPECT_EQ(restored.code, 0) << restored.err;
    EXPECT_EQ(restored.out, "result: 0\n");
    EXPECT_TRUE(simulator_->Config(0).restoredConfiguration == settings);

    // Nothing listens: the form cannot go out.
    simulator_.reset();
    Outcome refused = RunCli({"restore", "127.0.0.2", path});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.out, "result: -1\n");
}

TEST_F(CliCamera, UpgradeRetainingABackupShowsEveryStepInOrder) {
    const std::string settings = "camera settings " + std::string(2000, 'x');
    StartCamera([&](sim::CameraConfig& c) { c.configuration = settings; });
    Outcome run = RunCli(With({"upgrade", "127.0.0.2", "--retain", "--backup"}));
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    // This build carries the stand-in package, and says so first.
    EXPECT_EQ(run.out.rfind("note: this build carries the stand-in firmware package", 0), 0u)
        << run.out;
    size_t last = 0;
    for (const char* line : {"step 2 Uploading\n", "step 3 Overwriting\n", "step 7 Reconfiguring\n",
                             "step 8 Completed\n"}) {
        size_t at = run.out.find(line, last);
        ASSERT_NE(at, std::string::npos) << line << run.out;
        last = at;
    }
    EXPECT_EQ(Line(run.out, "current version"), "1.05");
    EXPECT_EQ(Line(run.out, "upgraded to"), "1.08");
    // Kept, as asked, and back on the camera.
    const std::string kept = Line(run.out, "kept");
    EXPECT_EQ(kept, Line(run.out, "saved"));
    EXPECT_TRUE(ReadFile(kept) == settings);
    EXPECT_TRUE(simulator_->Config(0).restoredConfiguration == settings);
    EXPECT_EQ(simulator_->Ftp(0).flashedVersion, "1.08");
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

TEST_F(CliCamera, UpgradeNeverAnswersTheResetQuestionYesByItself) {
    StartCamera([](sim::CameraConfig& c) { c.softVersion = "1.09"; });
    Outcome refused = RunCli(With({"upgrade", "127.0.0.2"}));
    EXPECT_EQ(refused.code, 1) << refused.out;
    EXPECT_NE(refused.err.find("IP address will be reset to default."), std::string::npos);
    EXPECT_NE(refused.err.find("Answered no"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out.find("step"), std::string::npos) << refused.out;
    EXPECT_EQ(simulator_->RequestCount(0, "POST /command/ftpserver.cgi"), 0);

    Outcome agreed = RunCli(With({"upgrade", "127.0.0.2", "--yes"}));
    EXPECT_EQ(agreed.code, 0) << agreed.out << agreed.err;
    EXPECT_EQ(Line(agreed.out, "upgraded to"), "1.08");
}

TEST_F(CliCamera, FailuresPrintTheirStepTextAndReasonAndNoWrongOutcome) {
    StartCamera([](sim::CameraConfig& c) { c.afterReboot = sim::AfterReboot::OldVersion; });
    Outcome wrong = RunCli(With({"upgrade", "127.0.0.2"}));
    EXPECT_EQ(wrong.code, 1);
    EXPECT_NE(wrong.out.find("step 3 Overwriting\n"), std::string::npos) << wrong.out;
    EXPECT_NE(wrong.out.find("step 10 Error2: the camera came back with 1.05, expected 1.08\n"),
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
    std::ofstream(scratch_ / "file") << "not a folder";
    setenv("ProgramFiles", (scratch_ / "file").c_str(), 1);
    Outcome run = RunCli(With({"upgrade", "127.0.0.2", "--retain"}));
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("Cannot save camera's configuration!\nCannot create the folder"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(simulator_->RequestCount(0, "POST /command/ftpserver.cgi"), 0);
}
