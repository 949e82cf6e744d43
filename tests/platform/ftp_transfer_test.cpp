// Our FTP connection against the stand-in camera's FTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "command_line.h"
#include "platform/ftp_transfer.h"
#include "portable_env.h"
#include "simulator.h"

namespace fs = std::filesystem;
using vcq::ftp::FtpConnection;

namespace {

class FtpTransfer : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vcq-ftp-" + vcq::test::UniqueTag());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Start(const std::function<void(vcq::sim::CameraConfig&)>& adjust = {}) {
        vcq::sim::CameraConfig config;
        config.address = "127.0.0.1";
        config.httpPort = 0;
        config.ftpPort = 0;
        config.ftpServerOn = true;
        if (adjust)
            adjust(config);
        vcq::sim::SimulatorOptions options;
        options.ftp = true;
        simulator_ = std::make_unique<vcq::sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator_->AddCamera(config, &error)) << error;
    }

    FtpConnection Connect(const std::string& password = "ftppass") {
        return FtpConnection("127.0.0.1", simulator_->FtpEndpoint(0).port, "ftpuser", password,
                             {std::chrono::milliseconds(2000), std::chrono::milliseconds(3000)});
    }

    std::string Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return (dir_ / name).string();
    }

    fs::path dir_;
    std::unique_ptr<vcq::sim::Simulator> simulator_;
};

}  // namespace

TEST_F(FtpTransfer, UploadsIntoNestedDriveFoldersInBinary) {
    Start();
    static const char kBytes[] = "line\r\nnext\n\0\xff\x1a end";
    const std::string binary(kBytes, sizeof kBytes - 1);
    std::string empty = Write("empty.htm", "");
    std::string data = Write("data.bin", binary);
    FtpConnection ftp = Connect();
    ASSERT_TRUE(ftp.Open()) << ftp.lastError();
    ASSERT_TRUE(ftp.ChangeFolder("C:\\"));
    ftp.CreateFolderIgnoringFailure("web");
    ftp.CreateFolderIgnoringFailure("web");  // exists: the refusal is ignored
    ASSERT_TRUE(ftp.ChangeFolder("C:\\web"));
    ftp.CreateFolderIgnoringFailure("home");
    ASSERT_TRUE(ftp.ChangeFolder("C:\\web\\home"));
    ASSERT_TRUE(ftp.Upload(empty, "empty.htm")) << ftp.lastError();
    ASSERT_TRUE(ftp.Upload(data, "data.bin")) << ftp.lastError();
    ftp.Close();

    auto record = simulator_->Ftp(0);
    EXPECT_EQ(record.files.at("C:\\web\\home\\empty.htm"), "");
    EXPECT_TRUE(record.files.at("C:\\web\\home\\data.bin") == binary);
    EXPECT_EQ(record.createdFolders, (std::vector<std::string>{"C:\\web", "C:\\web\\home"}));
    EXPECT_EQ(record.connections, 1);
}

TEST_F(FtpTransfer, RefusalsAreFailures) {
    Start([](vcq::sim::CameraConfig& c) { c.ftpFailStor = -1; });
    std::string data = Write("a.bin", "abc");
    FtpConnection wrongPassword = Connect("wrong");
    EXPECT_FALSE(wrongPassword.Open());
    EXPECT_FALSE(wrongPassword.lastError().empty());

    FtpConnection ftp = Connect();
    ASSERT_TRUE(ftp.Open());
    EXPECT_FALSE(ftp.ChangeFolder("C:\\missing"));
    EXPECT_FALSE(ftp.Upload(data, "a.bin"));
    EXPECT_FALSE(ftp.Upload((dir_ / "not-there").string(), "b.bin"));

    simulator_->Update(0, [](vcq::sim::CameraConfig& c) { c.ftpServerOn = false; });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    FtpConnection off = Connect();
    EXPECT_FALSE(off.Open());
}

// A failure names what the camera said, or that it went away; never a
// message libcurl left behind earlier in the same operation.
TEST_F(FtpTransfer, FailureNamesTheServersAnswerOrTheDrop) {
    // StoreSecond uploads a good file first: its success must not colour the failure.
    enum class Step { Login, Folder, Store, StoreSecond, Connect };
    struct Row {
        std::string setting;  // as the stand-in's command line takes it
        Step step;
        std::string reason;  // what lastError() starts with
    };
    const Row rows[] = {
        {"stor-fail=every", Step::Store, "550 big.bin: Permission denied."},
        {"stor-fail=every:451", Step::Store, "451 Transfer failed."},
        {"stor-fail=every:drop", Step::Store, "the camera dropped the connection"},
        {"stor-fail=2", Step::StoreSecond, "550 big.bin: Permission denied."},
        {"stor-fail=2:drop", Step::StoreSecond, "the camera dropped the connection"},
        {"", Step::Folder, "550 C:\\missing: No such directory."},
        {"ftp-login=refuse", Step::Login, "530 Login incorrect."},
        {"ftp-on=off", Step::Connect, ""},
    };
    // Large enough that the drop comes while the file is still on its way.
    const std::string big = Write("big.bin", std::string(8u * 1024 * 1024, 'b'));
    const std::string small = Write("small.bin", "abc");
    for (const Row& row : rows) {
        Start([&](vcq::sim::CameraConfig& c) {
            std::string error;
            ASSERT_TRUE(vcq::sim::ApplyCameraSettings(row.setting, c, error)) << error;
        });
        FtpConnection ftp = Connect();
        bool done = false;
        switch (row.step) {
            case Step::Login:
            case Step::Connect:
                done = ftp.Open();
                break;
            case Step::Folder:
                done = ftp.Open() && ftp.ChangeFolder("C:\\missing");
                break;
            case Step::Store:
                done = ftp.Open() && ftp.ChangeFolder("C:\\") && ftp.Upload(big, "big.bin");
                break;
            case Step::StoreSecond:
                done = ftp.Open() && ftp.ChangeFolder("C:\\") && ftp.Upload(small, "small.bin") &&
                       ftp.Upload(big, "big.bin");
                break;
        }
        EXPECT_FALSE(done) << row.setting;
        const std::string& reason = ftp.lastError();
        EXPECT_EQ(reason.substr(0, row.reason.size()), row.reason) << row.setting << ": " << reason;
        EXPECT_FALSE(reason.empty()) << row.setting;
        EXPECT_EQ(reason.find("inet_ntop"), std::string::npos) << row.setting << ": " << reason;
        simulator_.reset();
    }
}

// An abort from another thread ends the connection's work where it is: an
// upload under way, and whatever comes after it.
TEST_F(FtpTransfer, AnAbortEndsTheUploadUnderWayAndEveryLaterCommand) {
    struct Row {
        const char* name;
        uint64_t abortAfter;  // bytes of the file sent; 0: before the login
        bool loggedIn;        // Open succeeds
    };
    const Row rows[] = {
        {"before the login", 0, false},
        {"in the middle of a slow STOR", 64 * 1024, true},
    };
    constexpr uint64_t kBigBytes = 4u * 1024 * 1024;
    const std::string big = Write("big.bin", std::string(kBigBytes, 'b'));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Start([](vcq::sim::CameraConfig& c) { c.ftpRateLimit = 100000; });
        auto abort = std::make_shared<vcq::TransferAbort>();
        vcq::ftp::FtpLimits limits{std::chrono::milliseconds(2000),
                                   std::chrono::milliseconds(30000), abort};
        FtpConnection ftp("127.0.0.1", simulator_->FtpEndpoint(0).port, "ftpuser", "ftppass",
                          limits);
        if (row.abortAfter == 0)
            abort->Abort();
        ASSERT_EQ(ftp.Open(), row.loggedIn) << ftp.lastError();
        uint64_t lastSent = 0;
        if (row.loggedIn) {
            ASSERT_TRUE(ftp.ChangeFolder("C:\\")) << ftp.lastError();
            // The abort comes from another thread, as the engine's would.
            std::thread aborter;
            EXPECT_FALSE(ftp.Upload(big, "big.bin", [&](uint64_t sent) {
                lastSent = sent;
                if (sent >= row.abortAfter && !aborter.joinable())
                    aborter = std::thread([abort] { abort->Abort(); });
            }));
            if (aborter.joinable())
                aborter.join();
            EXPECT_GE(lastSent, row.abortAfter);
            EXPECT_LT(lastSent, kBigBytes) << "stopped before the whole file went";
        }
        EXPECT_EQ(ftp.lastError(), vcq::ftp::kStoppedText);
        EXPECT_FALSE(ftp.ChangeFolder("C:\\")) << "nothing runs after an abort";
        EXPECT_EQ(abort->Running(), 0u);
    }
}
