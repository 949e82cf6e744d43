// CgiClient and the checks before an upgrade against the stand-in camera on
// its real port 80 (and a custom port). These run only inside tests/isolated.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "isolated_env.h"
#include "protocol/cgi_client.h"
#include "recording_window.h"
#include "simulator.h"
#include "upgrade/camera_upgrade.h"

using namespace std::chrono_literals;
using vcq::BuildCgiRequest;
using vcq::CgiClient;
using vcq::ExchangeLimits;
namespace sim = vcq::sim;

namespace {

const vcq::ModelList kModels = {{"VCQ-R20", "VCQ-R20N", "VCQ-R20P"}};
const std::string kToken = vcq::EncodeBasicToken("admin:secret");

ExchangeLimits ShortLimits() {
    ExchangeLimits limits;
    limits.connect = 1s;
    limits.read = 400ms;
    limits.total = 2s;
    return limits;
}

std::string Inquiry(const std::string& host, const std::string& body,
                    const std::string& token = kToken) {
    return BuildCgiRequest("/command/inquiry.cgi", host, token, body);
}

std::string BodyOf(const std::string& reply) {
    size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

class CameraClient : public ::testing::Test {
  protected:
    void SetUp() override { VCQ_REQUIRE_ISOLATED_NETWORK(); }

    // One camera on 127.0.0.2 (port 80 unless `adjust` says otherwise).
    size_t StartCamera(const std::function<void(sim::CameraConfig&)>& adjust = {}) {
        sim::CameraConfig config;
        config.address = "127.0.0.2";
        config.users = {{"admin", "secret"}, {"viewer", "look"}};
        config.serial = "123456";
        if (adjust)
            adjust(config);
        if (!simulator_) {
            sim::SimulatorOptions options;
            options.http.splitPause = 150ms;
            simulator_ = std::make_unique<sim::Simulator>(options);
        }
        std::string error;
        auto index = simulator_->AddCamera(config, &error);
        EXPECT_TRUE(index) << error;
        return index.value_or(0);
    }

    std::unique_ptr<sim::Simulator> simulator_;
};

}  // namespace

TEST_F(CameraClient, HostTextChoosesThePortAndGoesOutWhole) {
    size_t onDefault = StartCamera();
    size_t onCustom = StartCamera([](sim::CameraConfig& c) {
        c.httpPort = 8080;
        c.model = "VCQ-R20N";
    });
    ASSERT_EQ(simulator_->HostText(onDefault), "127.0.0.2");
    ASSERT_EQ(simulator_->HostText(onCustom), "127.0.0.2:8080");

    for (const std::string host : {"127.0.0.2", "127.0.0.2:8080"}) {
        CgiClient client(host, ShortLimits());
        const std::string request = Inquiry(host, "inq=sysinfo");
        std::string reply = client.Exchange(request);
        size_t camera = host == "127.0.0.2" ? onDefault : onCustom;
        EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << host;
        EXPECT_NE(reply.find(host == "127.0.0.2" ? "ModelName=VCQ-R20&" : "ModelName=VCQ-R20N&"),
                  std::string::npos)
            << host;
        EXPECT_EQ(simulator_->LastRequest(camera), request) << host;
        EXPECT_NE(request.find("\r\nHost: " + host + "\r\n"), std::string::npos);
        EXPECT_NE(request.find("\r\nContent-Length: 11\r\n\r\ninq=sysinfo"), std::string::npos);
    }
    // Each client reached only its own camera.
    EXPECT_EQ(simulator_->RequestCount(onDefault, "inq=sysinfo"), 1);
    EXPECT_EQ(simulator_->RequestCount(onCustom, "inq=sysinfo"), 1);
}

TEST_F(CameraClient, RepliesAreReturnedWholeWithTheServerVersion) {
    StartCamera([](sim::CameraConfig& c) {
        c.softVersion = "1.07";
        c.serverTrailingBlank = true;
    });
    CgiClient client("127.0.0.2", ShortLimits());

    // 204 has neither Content-Length nor body.
    std::string noContent = client.Exchange(
        BuildCgiRequest("/command/ftpserver.cgi", "127.0.0.2", kToken, "FtpServerFunc=on"));
    EXPECT_EQ(noContent.rfind("HTTP/1.1 204 No Content\r\n", 0), 0u) << noContent;
    EXPECT_EQ(noContent.find("Content-Length"), std::string::npos);
    EXPECT_EQ(noContent.substr(noContent.size() - 4), "\r\n\r\n");
    EXPECT_EQ(client.serverVersion(), "1.07");  // trailing blank gone

    // The same object, another exchange.
    std::string reply = client.Exchange(Inquiry("127.0.0.2", "inq=builtin"));
    EXPECT_EQ(BodyOf(reply), "BuiltIn=Free space : 16777216 byte");
    EXPECT_NE(reply.find("\r\nServer: VCQCAM/1.07 \r\n"), std::string::npos);
    EXPECT_EQ(client.serverVersion(), "1.07");
}

TEST_F(CameraClient, BodiesBeyondTheReadBufferAreCollectedWhole) {
    StartCamera([](sim::CameraConfig& c) {
        c.httpFault = sim::HttpFault::HugeBody;
        c.hugeBodyBytes = 50000;
    });
    CgiClient client("127.0.0.2", ShortLimits());
    std::string reply = client.Exchange(Inquiry("127.0.0.2", "inq=sysinfo"));
    std::string body = BodyOf(reply);
    EXPECT_GE(body.size(), 50000u);
    EXPECT_NE(reply.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"),
              std::string::npos);
    EXPECT_TRUE(body.ends_with("&DnsAuto=off")) << body.substr(body.size() - 40);
}

TEST_F(CameraClient, MisbehavingCameraNeverHangsAndGivesNoHalfReply) {
    struct Case {
        sim::HttpFault fault;
        bool whole;
    };
    const Case cases[] = {
        {sim::HttpFault::RefuseConnections, false},
        {sim::HttpFault::AcceptNeverAnswer, false},
        {sim::HttpFault::CloseMidReply, false},
        {sim::HttpFault::SplitHeadersAndBody, true},
    };
    for (const Case& c : cases) {
        simulator_.reset();
        StartCamera([&](sim::CameraConfig& config) { config.httpFault = c.fault; });
        const std::string requests[] = {
            Inquiry("127.0.0.2", "inq=sysinfo"),  // with a body
            BuildCgiRequest("/command/ftpserver.cgi", "127.0.0.2", kToken,
                            "FtpServerFunc=on"),  // 204, none
        };
        for (const auto& request : requests) {
            CgiClient client("127.0.0.2", ShortLimits());
            auto start = std::chrono::steady_clock::now();
            std::string reply = client.Exchange(request);
            EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms) << int(c.fault);
            if (c.whole) {
                EXPECT_EQ(reply.rfind("HTTP/1.1 ", 0), 0u) << int(c.fault);
                if (request.ends_with("inq=sysinfo")) {
                    EXPECT_TRUE(BodyOf(reply).starts_with("ModelName=VCQ-R20&"));
                }
            } else {
                EXPECT_EQ(reply, "") << int(c.fault);
            }
        }
    }
}

namespace {

struct Refusal {
    const char* what;
    std::function<void(sim::CameraConfig&)> adjust;
    std::string user;  // "admin:secret" unless set
    std::string message;
    bool lowMemory;
    int inquiries;  // how many the check sent
};

}  // namespace

TEST_F(CameraClient, PreconditionsPassOnlyAFitCamera) {
    const Refusal cases[] = {
        {"passes", {}, "", "", false, 4},
        {"5242880 free passes", [](sim::CameraConfig& c) { c.builtInFreeBytes = 5242880; }, "", "",
         false, 4},
        {"wrong login",
         {},
         "admin:wrong",
         "Please enter correct user name and password for the administrator.",
         false,
         1},
        {"level 4 user",
         {},
         "viewer:look",
         "Level 4 users other than Administrator cannot run the program.",
         false,
         1},
        {"model", [](sim::CameraConfig& c) { c.model = "VCQ-R30"; }, "",
         "This program works for the VCQ-R30. Please select the correct camera.", false, 2},
        {"image memory", [](sim::CameraConfig& c) { c.imageMemoryOn = true; }, "",
         "Please disable \"Image Memory\" function.", false, 3},
        {"5242879 free", [](sim::CameraConfig& c) { c.builtInFreeBytes = 5242879; }, "",
         "There is not enough free space in the built-in memory.", true, 4},
        {"camera off",
         [](sim::CameraConfig& c) { c.httpFault = sim::HttpFault::RefuseConnections; }, "",
         "Cannot find the camera. (The camera may be turned off.)", false, 0},
    };
    for (const Refusal& r : cases) {
        for (bool silent : {false, true}) {
            SCOPED_TRACE(std::string(r.what) + (silent ? " silent" : ""));
            simulator_.reset();
            StartCamera(r.adjust);
            vcq::test::RecordingWindow window;
            std::string token = vcq::EncodeBasicToken(r.user.empty() ? "admin:secret" : r.user);
            vcq::CameraUpgrade camera(vcq::CameraJob("127.0.0.2", token, kModels, "ver1.08"),
                                      window.Shared(), 0, silent);
            camera.SetExchangeLimits(ShortLimits());
            bool lowMemory = !r.lowMemory;
            std::string serial;
            bool passed = camera.CheckPreconditions(lowMemory, &serial);
            EXPECT_EQ(passed, r.message.empty());
            EXPECT_EQ(lowMemory, r.lowMemory);
            if (silent || r.message.empty()) {
                EXPECT_TRUE(window.Boxes().empty());
            } else {
                ASSERT_EQ(window.Boxes().size(), 1u);
                EXPECT_EQ(window.Boxes()[0].text, r.message);
                EXPECT_EQ(window.Boxes()[0].caption, "Information");
                EXPECT_EQ(window.Boxes()[0].icon, vcq::MessageIcon::Exclamation);
            }
            const char* topics[] = {"inq=sysuser", "inq=sysinfo", "inq=imagememory", "inq=builtin"};
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(simulator_->RequestCount(0, topics[i]), i < r.inquiries ? 1 : 0)
                    << topics[i];
            if (r.message.empty()) {
                EXPECT_EQ(serial, "123456");
                EXPECT_EQ(camera.CurrentVersion(), "1.05");
            }
        }
    }
}
