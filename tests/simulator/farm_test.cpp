// Cameras on their real endpoints: port 80 of their own 127.x addresses.
// These run only inside tests/isolated.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "firmware_image.h"
#include "ftp_client.h"
#include "isolated_env.h"
#include "raw_client.h"
#include "simulator.h"

namespace vcq::sim::test {
namespace {

class Farm : public ::testing::Test {
  protected:
    void SetUp() override { VCQ_REQUIRE_ISOLATED_NETWORK(); }

    // Starts one camera on 127.0.0.2:80 after `adjust` has shaped it.
    void StartCamera(const std::function<void(CameraConfig&)>& adjust = {}) {
        CameraConfig config;
        config.address = "127.0.0.2";
        config.users = {{"admin", "secret"}, {"viewer", "look"}};
        if (adjust)
            adjust(config);
        SimulatorOptions options;
        options.http.splitPause = 200ms;
        simulator_ = std::make_unique<Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator_->AddCamera(config, &error)) << error;
        ASSERT_EQ(simulator_->HostText(0), "127.0.0.2");
        camera_ = simulator_->HttpEndpoint(0);
    }

    RawReply Ask(const std::string& topic, const std::string& user = "admin",
                 const std::string& password = "secret") {
        return Exchange(camera_, {Inquiry("127.0.0.2", topic, user, password)});
    }

    std::unique_ptr<Simulator> simulator_;
    net::Endpoint camera_;
};

TEST_F(Farm, AnswersEveryInquiryTopic) {
    StartCamera([](CameraConfig& c) {
        c.model = "VCQ-R30";
        c.serial = "123456";
        c.softVersion = "1.08";
        c.mac = "08:00:46:12:34:56";
        c.dhcp = true;
        c.imageMemoryOn = true;
        c.builtInFreeBytes = 5242879;
        c.ftpUser = {"ftpuser", "ftppass"};
    });
    struct Case {
        std::string topic;
        std::string body;
    };
    std::vector<Case> cases = {
        {"sysuser",
         "SysUserSet=" + BasicToken("admin", "secret") + "," + BasicToken("viewer", "look") + ","},
        {"sysinfo",
         "ModelName=VCQ-R30&SoftVersion=1.08&Serial=123456&ProductName=VCQCAM&Dhcp=on&DnsAuto=off"},
        {"imagememory", "ImageMemoryFunc=on"},
        {"builtin", "BuiltIn=Free space : 5242879 byte"},
        {"tcpip", "Ip=127.0.0.2&MacAddress=08:00:46:12:34:56&Dhcp=on&DnsAuto=off&HttpPort=80"},
        {"ftpuser", "FtpUser1=ftpuser,ftppass"},
    };
    for (const auto& c : cases) {
        RawReply reply = Ask(c.topic);
        EXPECT_TRUE(reply.bytes.starts_with("HTTP/1.1 200 OK\r\n")) << c.topic;
        EXPECT_EQ(BodyOf(reply.bytes), c.body) << c.topic;
        EXPECT_NE(reply.bytes.find("\r\nContent-Length: " + std::to_string(c.body.size()) + "\r\n"),
                  std::string::npos);
        EXPECT_EQ(HeadOf(reply.bytes).find('='), std::string::npos) << c.topic;
        EXPECT_EQ(simulator_->LastRequest(0), Inquiry("127.0.0.2", c.topic, "admin", "secret"));
    }
}

TEST_F(Farm, ChecksTheLoginAndTellsLevel4UsersApartOnlyByTheTokenOrder) {
    StartCamera();
    for (auto [user, password] : {std::pair{"admin", "wrong"}, {"nobody", "secret"}, {"", ""}}) {
        RawReply reply = Ask("sysuser", user, password);
        EXPECT_TRUE(reply.bytes.starts_with("HTTP/1.1 401 Unauthorized\r\n")) << user;
        EXPECT_EQ(reply.bytes.find("SysUserSet="), std::string::npos);
        EXPECT_EQ(reply.bytes.find('='), std::string::npos);
    }
    simulator_->Update(0, [](CameraConfig& c) { c.publicSysinfo = false; });
    RawReply none = Exchange(
        camera_, {"POST /command/inquiry.cgi HTTP/1.1\r\nContent-Length: 11\r\n\r\ninq=sysinfo"});
    EXPECT_TRUE(none.bytes.starts_with("HTTP/1.1 401 Unauthorized\r\n"));

    RawReply viewer = Ask("sysuser", "viewer", "look");
    EXPECT_TRUE(viewer.bytes.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(
        BodyOf(viewer.bytes).starts_with("SysUserSet=" + BasicToken("admin", "secret") + ","));
}

TEST_F(Farm, AnswersSysinfoWithoutALoginUnlessToldNotTo) {
    StartCamera();  // as real cameras do
    EXPECT_TRUE(Ask("sysinfo", "", "").bytes.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(Ask("sysuser", "", "").bytes.starts_with("HTTP/1.1 401 Unauthorized\r\n"));
    simulator_->Update(0, [](CameraConfig& c) { c.publicSysinfo = false; });
    EXPECT_TRUE(Ask("sysinfo", "", "").bytes.starts_with("HTTP/1.1 401 Unauthorized\r\n"));
}

TEST_F(Farm, NamesItselfInTheServerHeader) {
    StartCamera([](CameraConfig& c) {
        c.productName = "VCQCAM";
        c.softVersion = "1.05";
    });
    EXPECT_NE(Ask("sysinfo").bytes.find("\r\nServer: VCQCAM/1.05\r\n"), std::string::npos);
    simulator_->Update(0, [](CameraConfig& c) {
        c.serverTrailingBlank = true;
        c.softVersion = "1.08";
    });
    EXPECT_NE(Ask("sysinfo").bytes.find("\r\nServer: VCQCAM/1.08 \r\n"), std::string::npos);
    EXPECT_NE(Ask("sysuser", "admin", "bad").bytes.find("\r\nServer: VCQCAM/1.08 \r\n"),
              std::string::npos);
}

TEST_F(Farm, ListsEmptyFtpEntriesBeforeTheAccount) {
    StartCamera([](CameraConfig& c) {
        c.ftpEmptyEntries = 2;
        c.ftpUser = {"up", "load"};
    });
    EXPECT_EQ(BodyOf(Ask("ftpuser").bytes), "FtpUser1=,&FtpUser2=,&FtpUser3=up,load");
}

TEST_F(Farm, RefusesConnectionsWhenToldTo) {
    StartCamera([](CameraConfig& c) { c.httpFault = HttpFault::RefuseConnections; });
    net::TcpSocket socket;
    ASSERT_TRUE(socket.Open());
    EXPECT_FALSE(socket.Connect(camera_, 1s));
    simulator_->SetHttpFault(0, HttpFault::None);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(Ask("sysinfo").bytes.starts_with("HTTP/1.1 200 OK"));
}

TEST_F(Farm, ASecondSimulatorCannotTakeACamerasAddress) {
    StartCamera();
    Simulator second{SimulatorOptions{}};
    CameraConfig config;
    config.address = "127.0.0.2";
    std::string error;
    EXPECT_FALSE(second.AddCamera(config, &error));
    EXPECT_NE(error.find("127.0.0.2:80"), std::string::npos) << error;
    EXPECT_TRUE(Ask("sysinfo").bytes.starts_with("HTTP/1.1 200 OK"));
}

TEST_F(Farm, CanAcceptAndNeverAnswer) {
    StartCamera([](CameraConfig& c) { c.httpFault = HttpFault::AcceptNeverAnswer; });
    RawReply reply =
        Exchange(camera_, {Inquiry("127.0.0.2", "sysinfo", "admin", "secret")}, 0ms, 500ms);
    EXPECT_TRUE(reply.connected);
    EXPECT_EQ(reply.bytes, "");
    EXPECT_FALSE(reply.closedByPeer);
    EXPECT_EQ(simulator_->RequestCount(0, "inq=sysinfo"), 1) << "it did read the request";
}

TEST_F(Farm, CanAnswerLate) {
    StartCamera([](CameraConfig& c) { c.replyDelay = 300ms; });
    auto start = std::chrono::steady_clock::now();
    RawReply reply = Ask("sysinfo");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_TRUE(BodyOf(reply.bytes).starts_with("ModelName=VCQ-R20&"));
}

TEST_F(Farm, CanCloseInTheMiddleOfAReply) {
    StartCamera([](CameraConfig& c) { c.httpFault = HttpFault::CloseMidReply; });
    RawReply reply = Ask("sysinfo");
    EXPECT_TRUE(reply.closedByPeer);
    size_t at = reply.bytes.find("Content-Length: ");
    ASSERT_NE(at, std::string::npos) << reply.bytes;
    size_t promised = std::stoul(reply.bytes.substr(at + 16));
    EXPECT_GT(promised, BodyOf(reply.bytes).size());
    EXPECT_GT(BodyOf(reply.bytes).size(), 0u);
}

TEST_F(Farm, CanSendHeadAndBodyInSeparateSegments) {
    StartCamera([](CameraConfig& c) { c.httpFault = HttpFault::SplitHeadersAndBody; });
    RawReply reply = Ask("sysinfo");
    EXPECT_GE(reply.reads, 2);
    EXPECT_GE(reply.longestGap, 100ms);
    EXPECT_TRUE(BodyOf(reply.bytes).starts_with("ModelName=VCQ-R20&"));
}

TEST_F(Farm, CanSendABodyLargerThanTenKilobytesThatStillReadsTheSame) {
    StartCamera([](CameraConfig& c) { c.httpFault = HttpFault::HugeBody; });
    for (auto [topic, key] : {std::pair{"sysinfo", "ModelName="},
                              {"ftpuser", "FtpUser1="},
                              {"sysuser", "SysUserSet="}}) {
        RawReply reply = Ask(topic);
        std::string body = BodyOf(reply.bytes);
        EXPECT_GT(body.size(), 10240u) << topic;
        EXPECT_NE(reply.bytes.find("Content-Length: " + std::to_string(body.size()) + "\r\n"),
                  std::string::npos);
        // The filler holds no "=", so the first "=" of the reply is still the first key's.
        EXPECT_EQ(body.find('='), body.find(key) + std::string(key).size() - 1) << topic;
    }
    std::string sysinfo = BodyOf(Ask("sysinfo").bytes);
    EXPECT_NE(sysinfo.find("&ModelName=VCQ-R20&SoftVersion=1.05&Serial=10000001&"),
              std::string::npos);
    EXPECT_TRUE(sysinfo.ends_with("&DnsAuto=off"));
}

TEST_F(Farm, ServesManyCamerasAtOnceEachAsItself) {
    constexpr int kCameras = 24;
    Simulator simulator;
    std::vector<CameraConfig> configs;
    for (int i = 0; i < kCameras; ++i) {
        CameraConfig config;
        config.address = "127.0.1." + std::to_string(i + 1);
        config.serial = "S" + std::to_string(1000 + i);
        configs.push_back(config);
    }
    std::string error;
    ASSERT_TRUE(simulator.AddCameras(configs, &error)) << error;

    std::atomic<int> right{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kCameras; ++i) {
        for (int round = 0; round < 3; ++round) {
            clients.emplace_back([&, i] {
                RawReply reply =
                    Exchange(simulator.HttpEndpoint(i), {Inquiry(configs[i].address, "sysinfo")});
                if (reply.bytes.find("&Serial=" + configs[i].serial + "&") != std::string::npos)
                    ++right;
            });
        }
    }
    for (auto& client : clients)
        client.join();
    EXPECT_EQ(right, kCameras * 3);
    for (int i = 0; i < kCameras; ++i) {
        EXPECT_EQ(simulator.HttpEndpoint(i).port, 80);
        EXPECT_EQ(simulator.RequestCount(i, "inq=sysinfo"), 3);
    }
}

// Who answers one broadcast enquiry: replying address -> reply.
std::map<std::string, std::string> Discover() {
    std::map<std::string, std::string> replies;
    net::UdpSocket client;
    if (!client.Open() || !client.EnableBroadcast() || !client.Bind({0, 0}))
        return replies;
    client.SendTo({net::kBroadcastAddress, 2380}, std::string("\x02"
                                                              "ENQ:allinfo\xFF\x03",
                                                              14));
    char buffer[2048];
    net::Endpoint from;
    for (;;) {
        auto got = client.ReceiveFrom(buffer, sizeof buffer, from, 300ms);
        if (!got.ok())
            return replies;
        replies[net::FormatEndpoint(from)] = std::string(buffer, got.bytes);
    }
}

TEST(FarmWithFtpAndDiscovery, UpgradesOneCameraWhileTheOtherStaysInView) {
    VCQ_REQUIRE_ISOLATED_NETWORK();
    SimulatorOptions options;
    options.ftp = true;
    options.discovery = true;
    Simulator farm(options);
    CameraConfig first = {};
    first.address = "127.0.0.2";
    first.rebootDowntime = 800ms;
    CameraConfig second = first;
    second.address = "127.0.0.3";
    second.serial = "10000002";
    std::string error;
    ASSERT_TRUE(farm.AddCameras({first, second}, &error)) << error;
    EXPECT_EQ(farm.FtpEndpoint(1), (net::Endpoint{0x7F000003, 21}));

    auto replies = Discover();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_NE(replies["127.0.0.2:2380"].find("SOFTVERSION:1.05\xFF"), std::string::npos);
    EXPECT_NE(replies["127.0.0.3:2380"].find("SERIAL:10000002\xFF"), std::string::npos);

    std::string token = BasicToken("admin", "admin");
    net::Endpoint web{0x7F000002, 80};
    ASSERT_TRUE(Exchange(web, {CgiRequest("/command/ftpserver.cgi", "127.0.0.2", token,
                                          "FtpServerFunc=on")})
                    .bytes.starts_with("HTTP/1.1 204"));
    std::this_thread::sleep_for(100ms);
    RawFtp ftp;
    ASSERT_TRUE(ftp.Connect({0x7F000002, 21}));
    ASSERT_TRUE(ftp.Login("ftpuser", "ftppass"));
    ftp.Command("TYPE I");
    ftp.Command("MKD C:\\system");
    ftp.Command("CWD C:\\system");
    ASSERT_TRUE(ftp.Store("vcq.img", MakeFirmwareImage("1.08", "body")).starts_with("226"));
    ftp.Command("QUIT");
    ASSERT_TRUE(
        Exchange(web, {CgiRequest("/command/main.cgi", "127.0.0.2", token, "System=versionup")})
            .bytes.starts_with("HTTP/1.1 204"));

    replies = Discover();
    EXPECT_EQ(replies.size(), 1u) << "quiet while rebooting";
    EXPECT_EQ(replies.count("127.0.0.3:2380"), 1u);
    std::this_thread::sleep_for(700ms);
    farm.Update(1, [](CameraConfig& c) { c.softVersion = "2.00"; });
    replies = Discover();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_NE(replies["127.0.0.2:2380"].find("SOFTVERSION:1.08\xFF"), std::string::npos);
    EXPECT_NE(replies["127.0.0.3:2380"].find("SOFTVERSION:2.00\xFF"), std::string::npos);
}

}  // namespace
}  // namespace vcq::sim::test
