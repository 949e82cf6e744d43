// The upgrade sequence's decisions that need no FTP server: the FTP account,
// the commands' replies, the tick limit, and early failures on the worker.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "backup_folder.h"
#include "recording_window.h"
#include "scripted_server.h"
#include "upgrade/camera_upgrade.h"

using namespace std::chrono_literals;
using vcq::CameraUpgrade;
using vcq::ModelList;
using vcq::test::OkReply;
using vcq::test::RecordingWindow;
using vcq::test::ScriptedReply;
using vcq::test::ScriptedServer;
namespace step = vcq::step;

namespace {

const ModelList kModels = {{"VCQ-R20", "VCQ-R20N", "VCQ-R20P"}};
const std::string kNoContent = "HTTP/1.1 204 No Content\r\n\r\n";

vcq::JobSettings Job(const std::string& host, const std::string& target = "ver1.08",
                     bool retain = false) {
    vcq::JobSettings job = vcq::CameraJob(host, "dG9rZW4=", kModels, target);
    job.serial = "42";
    job.retain = retain;
    return job;
}

// A job whose step and version a test puts where a phase expects them.
struct PlacedUpgrade : CameraUpgrade {
    using CameraUpgrade::CameraUpgrade;
    using CameraUpgrade::currentVersion;
    using CameraUpgrade::step;
};

std::shared_ptr<PlacedUpgrade> MakeUpgrade(const std::string& host, RecordingWindow& window,
                                           bool batch, bool retain = false) {
    auto upgrade = std::make_shared<PlacedUpgrade>(Job(host, "ver1.08", retain), window.Shared(),
                                                   batch ? 5 : 0, batch);
    if (batch)
        upgrade->SetProgressCounter(std::make_shared<std::atomic<int32_t>>(0));
    vcq::ExchangeLimits limits;
    limits.read = 500ms;
    limits.total = 2s;
    upgrade->SetExchangeLimits(limits);
    return upgrade;
}

// Reaches the wait for the rebooted camera without an upload.
// A restart here is 100 ms of silence; the wait ends after 3 s.
struct WaitingUpgrade : PlacedUpgrade {
    template <typename... Args>
    explicit WaitingUpgrade(Args&&... args) : PlacedUpgrade(std::forward<Args>(args)...) {
        vcq::PhaseLimits limits;
        limits.goneAfter = std::chrono::milliseconds(100);
        limits.reboot = std::chrono::seconds(3);
        SetPhaseLimits(limits);
    }
    // The wait and the phases after it: true when the job completed.
    bool RunFromWait() {
        RunPhases(vcq::Phase::WaitGone);
        return Step() == vcq::step::kCompleted;
    }
};

std::string SysInfo(const std::string& version) {
    return OkReply("ModelName=VCQ-R20&SoftVersion=" + version + "&Serial=42&", "VCQCAM/" + version);
}

const ScriptedReply kClosed{{}, false};  // closes without a word
// Closed connections for longer than the 100 ms a restart takes here.
const std::vector<ScriptedReply> kRestart(4, kClosed);

std::vector<ScriptedReply> Then(std::vector<std::vector<ScriptedReply>> parts) {
    std::vector<ScriptedReply> all;
    for (auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace

TEST(FtpAccount, FirstEntryWithAUserAfterAtMostTenEmptyOnes) {
    std::string user, password;
    EXPECT_TRUE(vcq::ReadFtpAccount("FtpUser1=cam,secret&x=1", user, password));
    EXPECT_EQ(user, "cam");
    EXPECT_EQ(password, "secret");
    EXPECT_TRUE(vcq::ReadFtpAccount("A=,&B=,&C=ftp,pw,with,commas", user, password));
    EXPECT_EQ(user, "ftp");
    EXPECT_EQ(password, "pw,with,commas");

    std::string nine, ten;
    for (int i = 0; i < 9; ++i)
        nine += "U" + std::to_string(i) + "=,&";
    ten = nine + "U9=,&";
    EXPECT_TRUE(vcq::ReadFtpAccount(nine + "Last=u,p", user, password));
    EXPECT_FALSE(vcq::ReadFtpAccount(ten + "Last=u,p", user, password));
    EXPECT_FALSE(vcq::ReadFtpAccount("no account here", user, password));
    EXPECT_FALSE(
        vcq::ReadFtpAccount("=u,p", user, password));  // the search starts at the second character
}

TEST(Commands, FtpSwitchAndVersionUpNeed204) {
    ScriptedServer server;
    RecordingWindow window;
    auto upgrade = MakeUpgrade(server.hostText(), window, false);

    server.SetReplies({{{{kNoContent}}}, {{{OkReply("FtpUser1=,&FtpUser2=cam,pw&")}}}});
    EXPECT_TRUE(upgrade->EnableFtpServer());
    EXPECT_EQ(upgrade->FtpUser(), "cam");
    EXPECT_EQ(upgrade->FtpPassword(), "pw");
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], vcq::BuildCgiRequest("/command/ftpserver.cgi", server.hostText(),
                                                "dG9rZW4=", "FtpServerFunc=on"));

    server.SetReply(OkReply(""));
    EXPECT_FALSE(upgrade->EnableFtpServer());
    server.SetReplies({{{{kNoContent}}}, {{{OkReply("nothing")}}}});
    EXPECT_FALSE(upgrade->EnableFtpServer());

    upgrade->step = step::kUploading;
    server.SetReply(OkReply(""));  // 200 instead of 204
    EXPECT_FALSE(upgrade->SendVersionUp());
    EXPECT_EQ(upgrade->step, step::kUploading);
    server.SetReply(kNoContent);
    EXPECT_TRUE(upgrade->SendVersionUp());
    EXPECT_EQ(upgrade->step, step::kOverwriting);
    EXPECT_EQ(server.Requests().back(), vcq::BuildCgiRequest("/command/main.cgi", server.hostText(),
                                                             "dG9rZW4=", "System=versionup"));

    EXPECT_EQ(window.BoxTexts(),
              (std::vector<std::string>{"FtpServerFunc Error!", "FtpServerUser Error!!",
                                        "VersionUp command Error!"}));
    for (const auto& box : window.Boxes())
        EXPECT_EQ(box.icon, vcq::MessageIcon::Stop);
}

TEST(Commands, FtpAccountComesFromTheBodyNotFromAHeader) {
    ScriptedServer server;
    RecordingWindow window;
    auto upgrade = MakeUpgrade(server.hostText(), window, false);
    const std::string body = "FtpUser1=cam,pw";
    server.SetReplies({{{{kNoContent}}},
                       {{{"HTTP/1.1 200 OK\r\nKeep-Alive: timeout=5, max=100\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n" + body}}}});
    EXPECT_TRUE(upgrade->EnableFtpServer());
    EXPECT_EQ(upgrade->FtpUser(), "cam");
    EXPECT_EQ(upgrade->FtpPassword(), "pw");
}

TEST(Commands, RefusedVersionUpReportsStep9AndGoesBackAPage) {
    ScriptedServer server;
    server.SetReply(OkReply(""));
    RecordingWindow window;
    auto upgrade = MakeUpgrade(server.hostText(), window, false);
    upgrade->step = step::kUploading;
    upgrade->ReportVersionUpResult();
    EXPECT_EQ(upgrade->step, step::kVersionUpRefused);
    EXPECT_EQ(window.BoxTexts(),
              (std::vector<std::string>{"VersionUp command Error!", "VersionUp Error!!"}));
    ASSERT_EQ(window.Posts().size(), 1u);
    EXPECT_EQ(window.Posts()[0].message, vcq::kMsgGoToPage);
    EXPECT_EQ(window.Posts()[0].wParam, 1u);
    EXPECT_EQ(window.Posts()[0].lParam, 3);
}

TEST(Commands, VersionUpWhoseReplyNeverCameWholeCountsAsAccepted) {
    ScriptedServer server;
    RecordingWindow window;
    auto upgrade = MakeUpgrade(server.hostText(), window, false);
    for (const ScriptedReply& reply : {kClosed, ScriptedReply{{{"HTTP/1.1 2"}}, false}}) {
        server.SetReply(reply);
        upgrade->step = step::kUploading;
        EXPECT_TRUE(upgrade->SendVersionUp());
        EXPECT_EQ(upgrade->step, step::kOverwriting);
    }
    EXPECT_TRUE(window.Boxes().empty());

    // A request that never reached the camera is refused, and says why.
    uint16_t closedPort;
    {
        ScriptedServer gone;
        closedPort = gone.port();
    }
    auto unreachable = MakeUpgrade("127.0.0.1:" + std::to_string(closedPort), window, false);
    unreachable->step = step::kUploading;
    EXPECT_FALSE(unreachable->SendVersionUp());
    EXPECT_NE(unreachable->FailureDetail().find("no connection"), std::string::npos)
        << unreachable->FailureDetail();
    server.SetReply(OkReply(""));
    upgrade->step = step::kUploading;
    EXPECT_FALSE(upgrade->SendVersionUp());
    EXPECT_EQ(upgrade->FailureDetail(),
              "the camera answered \"HTTP/1.1 200 OK\" to System=versionup");
}

TEST(RebootWait, OldFirmwareLingeringIsNotYetTheAnswer) {
    ScriptedServer server;
    RecordingWindow window;
    WaitingUpgrade upgrade(Job(server.hostText(), "ver1.08"), window.Shared(), 0, false);
    upgrade.currentVersion = "1.05";
    std::vector<int32_t> steps;
    upgrade.SetStepListener([&](int32_t s) { steps.push_back(s); });
    auto until = std::chrono::steady_clock::now();

    // Old version, then gone, then the new one: completed.
    server.SetReplies(
        {{{{SysInfo("1.05")}}}, {{{SysInfo("1.05")}}}, kClosed, {{{SysInfo("1.08")}}}});
    upgrade.step = step::kOverwriting;
    EXPECT_TRUE(upgrade.RunFromWait());
    EXPECT_EQ(upgrade.step, step::kCompleted);
    EXPECT_EQ(server.Requests().size(), 4u);
    // Two old-version replies were each followed by a pause, not a tight loop.
    EXPECT_GE(std::chrono::steady_clock::now() - until, 190ms);
    EXPECT_EQ(steps, std::vector<int32_t>{step::kCompleted});

    // Another version once it has been away for a while is the wrong one;
    // after one cut connection it is still the old firmware at work.
    const struct {
        std::vector<ScriptedReply> replies;
        const char* detail;
    } ends[] = {
        {Then({{{{{SysInfo("1.05")}}}}, kRestart, {{{{SysInfo("1.05")}}}}}),
         "the camera came back with 1.05, expected 1.08"},
        {{{{{SysInfo("1.05")}}}, kClosed, {{{SysInfo("1.05")}}}},
         "the camera was not back with the new version within 3 s"},
    };
    for (const auto& end : ends) {
        ScriptedServer second;
        WaitingUpgrade wrong(Job(second.hostText(), "1.08"), window.Shared(), 0, false);
        wrong.currentVersion = "1.05";
        second.SetReplies(end.replies);
        wrong.step = step::kOverwriting;
        wrong.RunFromWait();
        EXPECT_EQ(wrong.step, step::kWrongVersion);
        EXPECT_EQ(wrong.FailureDetail(), end.detail);
    }
}

// The new version from a camera that had another is back at once; its old
// version, or any other, is not an answer until it has been seen going away;
// re-flashing the same (or an unknown) version needs it seen going away.
TEST(RebootWait, BackOnceTheVersionsSaySo) {
    struct Row {
        const char* before;
        std::vector<ScriptedReply> replies;
        size_t requests;
    };
    const Row rows[] = {
        {"1.05", {{{{SysInfo("1.08")}}}}, 1},
        {"1.08",
         Then({{{{{SysInfo("1.08")}}}, {{{SysInfo("1.08")}}}}, kRestart, {{{{SysInfo("1.08")}}}}}),
         7},
        {"1.05", {{{{SysInfo("1.09")}}}, kClosed, {{{SysInfo("1.08")}}}}, 3},
        {"", Then({{{{{SysInfo("1.08")}}}}, kRestart, {{{{SysInfo("1.08")}}}}}), 6},
    };
    for (const Row& row : rows) {
        ScriptedServer server;
        RecordingWindow window;
        WaitingUpgrade upgrade(Job(server.hostText(), "ver1.08"), window.Shared(), 0, false);
        upgrade.currentVersion = row.before;
        server.SetReplies(row.replies);
        upgrade.step = step::kOverwriting;
        EXPECT_TRUE(upgrade.RunFromWait()) << row.before;
        EXPECT_EQ(upgrade.step, step::kCompleted) << row.before;
        EXPECT_EQ(server.Requests().size(), row.requests) << row.before;
    }
}

TEST(RebootWait, QuickRefusalsAreAskedAgainAfterAPause) {
    ScriptedServer server;
    server.SetReply("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n");
    RecordingWindow window;
    auto upgrade =
        std::make_shared<WaitingUpgrade>(Job(server.hostText(), "1.08"), window.Shared(), 0, false);
    upgrade->step = step::kOverwriting;
    std::thread waiter([&] { upgrade->RunFromWait(); });
    std::this_thread::sleep_for(600ms);
    upgrade->Abandon();
    waiter.join();
    EXPECT_LE(server.Requests().size(), 8u);  // about one per 100 ms
    EXPECT_GE(server.Requests().size(), 3u);
}

TEST(Worker, StartNeedsSharedOwnership) {
    RecordingWindow window;
    CameraUpgrade onStack(Job("127.0.0.1:1", "1.08"), window.Shared(), 0, false);
    EXPECT_EQ(onStack.StartUpgrade(nullptr), 0);
    EXPECT_EQ(onStack.Step(), step::kNotStarted);
}

TEST(Worker, FailedBackupInBatchEndsWith14BeforeAnyUpload) {
    vcq::test::ScopedBackupFolder folder("vcq-seq");
    ScriptedServer server;
    server.SetReply("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    RecordingWindow window;
    auto upgrade = MakeUpgrade(server.hostText(), window, true, true);
    ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
    ASSERT_TRUE(upgrade->WaitForWorker(5s));
    EXPECT_EQ(upgrade->step, step::kBackupFailed);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);  // the configuration only: nothing switched on, nothing sent
    EXPECT_EQ(requests[0].rfind("GET /home/l4/vcq-r20.cfg HTTP/1.1\r\n", 0), 0u);
}

TEST(Worker, PackageThatCannotBePreparedIsNeverUploaded) {
    ScriptedServer server;
    server.SetReply(kNoContent);
    RecordingWindow window;
    auto upgrade = MakeUpgrade(server.hostText(), window, false);
    upgrade->SetWorkspace(std::make_shared<vcq::PackageWorkspace>());  // holds no package
    ASSERT_EQ(upgrade->StartUpgrade(nullptr), 1);
    ASSERT_TRUE(upgrade->WaitForWorker(5s));
    EXPECT_EQ(upgrade->step, step::kUploadFailed);
    EXPECT_EQ(window.BoxTexts(),
              (std::vector<std::string>{"Don't find new firmware!", "Ftp Error!"}));
    EXPECT_TRUE(server.Requests().empty());
    ASSERT_EQ(window.Posts().size(), 1u);
}
