// The camera's FTP server on 127.0.0.1 with ephemeral ports, driven the way
// our client uploads a package: drive paths, MKD, active-mode STOR, a new
// connection per folder.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ftp_client.h"
#include "ftp_service.h"
#include "raw_client.h"
#include "simulator.h"

namespace vcq::sim::test {
namespace {

class LocalFtp : public ::testing::Test {
  protected:
    void SetUp() override {
        Start([](CameraConfig&) {});
    }

    void Start(const std::function<void(CameraConfig&)>& adjust) {
        CameraConfig config;
        config.address = "127.0.0.1";
        config.httpPort = 0;
        config.ftpPort = 0;
        config.ftpServerOn = true;
        adjust(config);
        SimulatorOptions options;
        options.ftp = true;
        options.ftpOptions.idleTimeout = 2s;
        options.ftpOptions.dataTimeout = 1s;
        simulator_.reset();
        simulator_ = std::make_unique<Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator_->AddCamera(config, &error)) << error;
        ftp_ = simulator_->FtpEndpoint(0);
        ASSERT_NE(ftp_.port, 0);
    }

    // A logged-in session in binary mode.
    bool Open(RawFtp& client) {
        return client.Connect(ftp_) && client.Login("ftpuser", "ftppass") &&
               client.Command("TYPE I").starts_with("200");
    }

    std::unique_ptr<Simulator> simulator_;
    net::Endpoint ftp_;
};

TEST_F(LocalFtp, TakesNestedFoldersFolderByFolderLikeOurClient) {
    std::string image("VCQ\0\r\n\x1a\xff", 8);
    image += std::string(70000, '\n');  // binary: no line-end conversion
    RawFtp first;
    ASSERT_TRUE(Open(first));
    EXPECT_TRUE(first.Command("CWD C:\\").starts_with("250"));
    EXPECT_TRUE(first.Command("MKD system").starts_with("257"));
    EXPECT_TRUE(first.Command("CWD C:\\system").starts_with("250"));
    EXPECT_EQ(first.Command("PWD"), "257 \"C:\\system\" is current directory.\r\n");
    EXPECT_TRUE(first.Store("vcq.img", image).starts_with("226")) << "PORT";
    EXPECT_TRUE(first.Store("empty.txt", "", true).starts_with("226")) << "EPRT";
    EXPECT_EQ(first.Command("SIZE vcq.img"), "213 " + std::to_string(image.size()) + "\r\n");
    EXPECT_TRUE(first.Command("QUIT").starts_with("221"));

    RawFtp second;
    ASSERT_TRUE(Open(second));
    EXPECT_TRUE(second.Command("MKD system").starts_with("550")) << "exists";
    EXPECT_TRUE(second.Command("MKD web").starts_with("257"));
    EXPECT_TRUE(second.Command("CWD C:\\web").starts_with("250"));
    EXPECT_TRUE(second.Command("MKD home").starts_with("257"));
    EXPECT_TRUE(second.Command("CWD /web/home").starts_with("250"));
    EXPECT_TRUE(second.Command("MKD l4").starts_with("257"));
    EXPECT_TRUE(second.Command("CWD l4").starts_with("250"));
    EXPECT_TRUE(second.Command("MKD missing\\child").starts_with("550"));
    EXPECT_TRUE(second.Command("CWD C:\\nowhere").starts_with("550"));
    EXPECT_TRUE(second.Command("CWD D:\\").starts_with("550"));
    EXPECT_TRUE(second.Store("index.htm", "<p>\r\n").starts_with("226"));
    second.Close();

    FtpRecord record = simulator_->Ftp(0);
    EXPECT_EQ(record.files.at("C:\\system\\vcq.img"), image);
    EXPECT_EQ(record.files.at("C:\\system\\empty.txt"), "");
    EXPECT_EQ(record.files.at("C:\\web\\home\\l4\\index.htm"), "<p>\r\n");
    EXPECT_EQ(
        record.createdFolders,
        (std::vector<std::string>{"C:\\system", "C:\\web", "C:\\web\\home", "C:\\web\\home\\l4"}));
    EXPECT_EQ(record.storedOrder.front(), "C:\\system\\vcq.img");
    EXPECT_EQ(record.connections, 2);
    EXPECT_EQ(record.stores, 3);
}

TEST_F(LocalFtp, StoresTextWithUnixLineEndsInAsciiMode) {
    RawFtp client;
    ASSERT_TRUE(client.Connect(ftp_) && client.Login("ftpuser", "ftppass"));
    // No TYPE: FTP starts in ASCII, which spoils a binary file.
    EXPECT_TRUE(client.Store("a.txt", "one\r\ntwo\r\n").starts_with("226"));
    EXPECT_EQ(simulator_->Ftp(0).files.at("C:\\a.txt"), "one\ntwo\n");
}

TEST_F(LocalFtp, AcceptsOnlyWhileSwitchedOnAndTheCameraIsUp) {
    Start([](CameraConfig& c) {
        c.ftpServerOn = false;
        c.rebootDowntime = 300ms;
    });
    RawFtp off;
    EXPECT_FALSE(off.Connect(ftp_)) << "off until FtpServerFunc=on";
    RawReply on = Exchange(simulator_->HttpEndpoint(0),
                           {CgiRequest("/command/ftpserver.cgi", simulator_->HostText(0),
                                       BasicToken("admin", "admin"), "FtpServerFunc=on")});
    ASSERT_TRUE(on.bytes.starts_with("HTTP/1.1 204"));
    std::this_thread::sleep_for(150ms);
    RawFtp session;
    ASSERT_TRUE(session.Connect(ftp_));

    simulator_->camera(0).state().VersionUp();
    EXPECT_TRUE(session.ReadReply(1s).starts_with("421")) << "dropped by the reboot";
    std::this_thread::sleep_for(150ms);
    RawFtp rebooting;
    EXPECT_FALSE(rebooting.Connect(ftp_));
    std::this_thread::sleep_for(400ms);
    RawFtp after;
    EXPECT_FALSE(after.Connect(ftp_)) << "the reboot switched it off";
    EXPECT_EQ(simulator_->Ftp(0).connections, 1);
}

TEST_F(LocalFtp, RefusesLoginsItIsToldToAndWrongPasswords) {
    RawFtp client;
    ASSERT_TRUE(client.Connect(ftp_));
    EXPECT_TRUE(client.Command("CWD C:\\").starts_with("530")) << "not logged in";
    EXPECT_TRUE(client.Command("PASS ftppass").starts_with("503"));
    EXPECT_FALSE(client.Login("ftpuser", "wrong"));
    EXPECT_FALSE(client.Login("admin", "ftppass"));
    EXPECT_TRUE(client.Login("ftpuser", "ftppass"));

    simulator_->Update(0, [](CameraConfig& c) { c.ftpRefuseLogin = true; });
    RawFtp refused;
    ASSERT_TRUE(refused.Connect(ftp_));
    EXPECT_TRUE(refused.Command("USER ftpuser").starts_with("331"));
    EXPECT_TRUE(refused.Command("PASS ftppass").starts_with("530"));
}

TEST_F(LocalFtp, FailsTheStorItIsToldTo) {
    simulator_->Update(0, [](CameraConfig& c) { c.ftpFailStor = 2; });
    RawFtp client;
    ASSERT_TRUE(Open(client));
    EXPECT_TRUE(client.Store("1.bin", "one").starts_with("226"));
    EXPECT_TRUE(client.Store("2.bin", "two").starts_with("550")) << "before any data";
    EXPECT_TRUE(client.Store("3.bin", "three").starts_with("226"));

    simulator_->Update(0, [](CameraConfig& c) {
        c.ftpFailStor = -1;
        c.ftpFailStatus = 451;
    });
    EXPECT_TRUE(client.Store("4.bin", "four").starts_with("451")) << "after the data";
    EXPECT_TRUE(client.Command("NOOP").starts_with("200")) << "the session goes on";
    FtpRecord record = simulator_->Ftp(0);
    EXPECT_EQ(record.files.size(), 2u);
    EXPECT_EQ(record.files.count("C:\\2.bin") + record.files.count("C:\\4.bin"), 0u);
    EXPECT_EQ(record.stores, 4);
}

TEST_F(LocalFtp, ConnectsDataOnlyToLoopbackAndAnswersUnknownCommands) {
    RawFtp client;
    ASSERT_TRUE(Open(client));
    EXPECT_TRUE(client.Command("PORT 10,0,0,1,4,1").starts_with("501"));
    EXPECT_TRUE(client.Command("PORT 192,168,1,20,0,80").starts_with("501"));
    EXPECT_TRUE(client.Command("EPRT |1|192.168.1.20|80|").starts_with("501"));
    EXPECT_TRUE(client.Command("EPRT |2|::1|80|").starts_with("522"));
    EXPECT_TRUE(client.Command("PORT 127,0,0,1,300,1").starts_with("501"));
    EXPECT_TRUE(client.Command("STOR x.bin").starts_with("425")) << "no data port accepted";
    EXPECT_TRUE(client.Command("PASV").starts_with("502"));
    EXPECT_TRUE(client.Command("RETR x.bin").starts_with("502"));
    EXPECT_TRUE(client.Command("TYPE E").starts_with("504"));
    EXPECT_TRUE(client.Command("!!").starts_with("500"));
    EXPECT_TRUE(client.Command("SYST").starts_with("215"));
    EXPECT_TRUE(client.Command("FEAT").starts_with("211-"));
    EXPECT_TRUE(client.Command("NOOP").starts_with("200"));
    EXPECT_TRUE(simulator_->Ftp(0).files.empty());
}

TEST_F(LocalFtp, HoldsTheTransferRateItIsGiven) {
    simulator_->Update(0, [](CameraConfig& c) { c.ftpRateLimit = 40000; });
    RawFtp client;
    ASSERT_TRUE(Open(client));
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(client.Store("slow.bin", std::string(20000, 's')).starts_with("226"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 450ms);
}

TEST_F(LocalFtp, StopsQuicklyWithStuckClients) {
    RawFtp idle;
    ASSERT_TRUE(Open(idle));
    idle.socket().SendAll("NOO", 1s);  // half a command
    RawFtp stuck;
    ASSERT_TRUE(Open(stuck));
    // The data connection is made and then never sends or closes.
    net::TcpSocket listener;
    ASSERT_TRUE(listener.Open() && listener.Bind({0x7F000001, 0}) && listener.Listen(1));
    uint16_t port = listener.LocalEndpoint()->port;
    stuck.Command("PORT 127,0,0,1," + std::to_string(port >> 8) + "," + std::to_string(port & 255));
    EXPECT_TRUE(stuck.Command("STOR hang.bin").starts_with("150"));
    net::TcpSocket data = listener.Accept(1s);
    ASSERT_TRUE(data.valid());

    auto start = std::chrono::steady_clock::now();
    simulator_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST(FtpPaths, ResolvesTheCameraDrivePathsOurClientSends) {
    using Parts = std::vector<std::string>;
    const Parts web = {"web"};
    struct Case {
        Parts current;
        std::string argument;
        std::optional<Parts> expected;
    };
    const Case cases[] = {
        {{}, "C:\\", Parts{}},
        {web, "C:", Parts{}},
        {{}, "C:\\web\\home\\l4", Parts{"web", "home", "l4"}},
        {{}, "c:/web/home", Parts{"web", "home"}},
        {web, "/system", Parts{"system"}},
        {web, "\\system\\", Parts{"system"}},
        {web, "home", Parts{"web", "home"}},
        {web, "..\\system\\.", Parts{"system"}},
        {{}, "..", Parts{}},
        {{}, "D:\\web", std::nullopt},
        {{}, "a:b", std::nullopt},
        {{}, "x*y", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveFtpPath(c.current, c.argument), c.expected) << c.argument;
    EXPECT_EQ(FtpPathText({}), "C:\\");
    EXPECT_EQ(FtpPathText({"web", "home"}), "C:\\web\\home");
    EXPECT_EQ(ParsePortArgument("127,0,0,2,4,1"), (net::Endpoint{0x7F000002, 1025}));
    EXPECT_EQ(ParseEprtArgument("!1!127.0.0.3!21!"), (net::Endpoint{0x7F000003, 21}));
    for (const char* bad : {"127,0,0,1,4", "127,0,0,1,4,1,", "127,0,0,1,4,x", ""})
        EXPECT_FALSE(ParsePortArgument(bad)) << bad;
}

}  // namespace
}  // namespace vcq::sim::test
