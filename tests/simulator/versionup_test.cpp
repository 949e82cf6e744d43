// "System=versionup" on a camera at 127.0.0.1: the reboot, the flash of the
// uploaded image, the factory reset, and the restore that undoes it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "cgi_handlers.h"
#include "firmware_image.h"
#include "ftp_client.h"
#include "raw_client.h"
#include "simulator.h"

namespace vcq::sim::test {
namespace {

class VersionUp : public ::testing::Test {
  protected:
    void Start(const std::function<void(CameraConfig&)>& adjust = {}) {
        CameraConfig config;
        config.address = "127.0.0.1";
        config.httpPort = 0;
        config.ftpPort = 0;
        config.softVersion = "1.05";
        config.rebootDowntime = 200ms;
        config.configuration = "operator settings";
        if (adjust)
            adjust(config);
        SimulatorOptions options;
        options.ftp = true;
        simulator_ = std::make_unique<Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator_->AddCamera(config, &error)) << error;
        http_ = simulator_->HttpEndpoint(0);
        host_ = simulator_->HostText(0);
    }

    RawReply Cgi(const std::string& path, const std::string& body) {
        return Exchange(http_, {CgiRequest(path, host_, BasicToken("admin", "admin"), body)});
    }

    // Polls inq=sysinfo as our client does after the command, without pause.
    // The reply, and how long the camera stayed away.
    std::pair<RawReply, std::chrono::milliseconds> AwaitReturn(std::chrono::milliseconds limit) {
        auto start = std::chrono::steady_clock::now();
        RawReply reply;
        do
            reply = Exchange(http_, {Inquiry(host_, "sysinfo")});
        while (reply.bytes.find("SoftVersion=") == std::string::npos &&
               std::chrono::steady_clock::now() - start < limit);
        return {reply, std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)};
    }

    void Upload(const std::string& path, const std::string& bytes) {
        simulator_->camera(0).state().UpdateFtp([&](FtpRecord& ftp) {
            ftp.files[path] = bytes;
            ftp.storedOrder.push_back(path);
        });
    }

    std::unique_ptr<Simulator> simulator_;
    net::Endpoint http_;
    std::string host_;
};

// Reset by the flash, as real cameras are, or told to keep its settings so
// that a restore can be told apart from settings never lost.
TEST_F(VersionUp, FlashesTheUploadedImageAndComesBackResetOrAsItWas) {
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "keeps its settings" : "reset");
        Start([&](CameraConfig& c) { c.keepConfigurationOnFlash = keep; });
        ASSERT_TRUE(
            Cgi("/command/ftpserver.cgi", "FtpServerFunc=on").bytes.starts_with("HTTP/1.1 204"));
        std::this_thread::sleep_for(100ms);
        RawFtp ftp;
        ASSERT_TRUE(ftp.Connect(simulator_->FtpEndpoint(0)) && ftp.Login("ftpuser", "ftppass"));
        ftp.Command("TYPE I");
        ftp.Command("MKD system");
        ftp.Command("CWD C:\\system");
        ASSERT_TRUE(ftp.Store("vcq_r20.img", MakeFirmwareImage("1.08", std::string(5000, '\x5a')))
                        .starts_with("226"));
        ftp.Command("QUIT");

        ASSERT_TRUE(Cgi("/command/main.cgi", "System=versionup").bytes.starts_with("HTTP/1.1 204"));
        auto [reply, away] = AwaitReturn(3s);
        EXPECT_GE(away, 150ms);
        EXPECT_NE(reply.bytes.find("&SoftVersion=1.08&"), std::string::npos) << reply.bytes;
        EXPECT_NE(reply.bytes.find("\r\nServer: VCQCAM/1.08\r\n"), std::string::npos);

        CameraConfig config = simulator_->Config(0);
        EXPECT_FALSE(config.ftpServerOn);
        EXPECT_EQ(config.configuration,
                  keep ? std::string("operator settings") : FactoryConfigurationFile(config));
        EXPECT_EQ(config.users.at(0).name, "admin") << "accounts survive";
        FtpRecord record = simulator_->Ftp(0);
        EXPECT_TRUE(record.files.empty());
        EXPECT_EQ(record.flashedImage, "C:\\system\\vcq_r20.img");
        EXPECT_EQ(record.createdFolders.size(), 1u) << "history stays";
    }
}

TEST_F(VersionUp, KeepsItsVersionWithoutAValidImageOrWhenToldTo) {
    std::string good = MakeFirmwareImage("1.08", "body");
    std::string badCrc = good;
    badCrc.back() ^= 1;
    struct Case {
        std::string name;
        std::vector<std::pair<std::string, std::string>> uploads;
        AfterReboot after;
        std::string expected;
    };
    const Case cases[] = {
        {"no image", {{"C:\\web\\index.htm", "x"}}, AfterReboot::Flashed, "1.05"},
        {"bad CRC", {{"C:\\system\\a.img", badCrc}}, AfterReboot::Flashed, "1.05"},
        {"first image counts",
         {{"C:\\system\\a.img", badCrc}, {"C:\\system\\b.img", good}},
         AfterReboot::Flashed,
         "1.05"},
        {"outside system", {{"C:\\web\\a.img", good}}, AfterReboot::Flashed, "1.05"},
        {"upper-case name", {{"C:\\system\\sub\\A.IMG", good}}, AfterReboot::Flashed, "1.08"},
        {"told to keep", {{"C:\\system\\a.img", good}}, AfterReboot::OldVersion, "1.05"},
    };
    for (const Case& c : cases) {
        Start([&](CameraConfig& config) { config.afterReboot = c.after; });
        for (const auto& [path, bytes] : c.uploads)
            Upload(path, bytes);
        ASSERT_TRUE(Cgi("/command/main.cgi", "System=versionup").bytes.starts_with("HTTP/1.1 204"));
        auto [reply, away] = AwaitReturn(3s);
        EXPECT_NE(reply.bytes.find("&SoftVersion=" + c.expected + "&"), std::string::npos)
            << c.name << ": " << reply.bytes;
    }
}

TEST_F(VersionUp, CanStayDownForGood) {
    Start([](CameraConfig& c) { c.afterReboot = AfterReboot::NeverBack; });
    Upload("C:\\system\\a.img", MakeFirmwareImage("1.08", "body"));
    ASSERT_TRUE(Cgi("/command/main.cgi", "System=versionup").bytes.starts_with("HTTP/1.1 204"));
    auto [reply, away] = AwaitReturn(800ms);
    EXPECT_EQ(reply.bytes, "");
    EXPECT_TRUE(simulator_->camera(0).state().Rebooting());
}

TEST_F(VersionUp, RestoreAfterTheResetBringsTheSettingsBack) {
    Start();
    std::string admin = BasicToken("admin", "admin");
    auto download = [&] {
        return BodyOf(
            Exchange(http_, {"GET /home/l4/vcq-r20.cfg HTTP/1.1\r\nAuthorization: Basic " + admin +
                             "\r\n\r\n"})
                .bytes);
    };
    std::string saved = download();
    ASSERT_EQ(saved, "operator settings");
    ASSERT_TRUE(Cgi("/command/main.cgi", "System=versionup").bytes.starts_with("HTTP/1.1 204"));
    AwaitReturn(3s);
    EXPECT_NE(download(), saved);

    std::string boundary = std::string(27, '-') + "7d1765130000";
    std::string form = "\r\n" + boundary +
                       "\r\nContent-Disposition: form-data; name=\"Restore\"; "
                       "filename=\"temp.cfg\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
                       saved + "\r\n" + boundary + "--\r\n\r\n";
    RawReply restored =
        Exchange(http_, {"POST /command/all-configuration.cgi HTTP/1.1\r\nContent-Type: "
                         "multipart/form-data; boundary=" +
                         boundary + "\r\nContent-Length: " + std::to_string(form.size()) +
                         "\r\nAuthorization: Basic AAAAAAAAAAAAAAA=\r\n\r\n" + form});
    EXPECT_TRUE(restored.bytes.starts_with("HTTP/1.1 200 OK")) << restored.bytes;
    EXPECT_EQ(download(), saved);
}

TEST(FirmwareImage, ReadsOnlyAWholeValidImage) {
    EXPECT_EQ(ImageCrc16("123456789"), 0xBB3D);
    std::string image = MakeFirmwareImage("1.08", "firmware body");
    ASSERT_EQ(image.size(), 32u + 13u);
    EXPECT_EQ(FlashableVersion(image), "1.08");
    EXPECT_EQ(FlashableVersion(MakeFirmwareImage("12345678", "")), "12345678");
    struct Spoil {
        const char* why;
        size_t offset;
    };
    for (Spoil spoil : {Spoil{"magic", 0}, Spoil{"header size", 8}, Spoil{"revision", 10},
                        Spoil{"version padding", 17}, Spoil{"body size", 20}, Spoil{"crc", 24},
                        Spoil{"body", 40}}) {
        std::string bad = image;
        bad[spoil.offset] ^= 0x40;
        EXPECT_FALSE(FlashableVersion(bad)) << spoil.why;
    }
    EXPECT_FALSE(FlashableVersion(image.substr(0, image.size() - 1))) << "cut short";
    EXPECT_FALSE(FlashableVersion(image + "x")) << "trailing bytes";
    EXPECT_FALSE(FlashableVersion(MakeFirmwareImage("", "body"))) << "no version";
}

}  // namespace
}  // namespace vcq::sim::test
