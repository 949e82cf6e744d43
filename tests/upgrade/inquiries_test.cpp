#include <gtest/gtest.h>

#include "protocol/cgi_client.h"
#include "recording_window.h"
#include "scripted_server.h"
#include "upgrade/camera_upgrade.h"

using namespace std::chrono_literals;
using vcq::CameraUpgrade;
using vcq::MessageIcon;
using vcq::ModelList;
using vcq::test::OkReply;
using vcq::test::RecordingWindow;
using vcq::test::ScriptedServer;

namespace {

const ModelList kModels = {{"VCQ-R20", "VCQ-R20N", "VCQ-R20P"}};
const std::string kToken = vcq::EncodeBasicToken("admin:secret");

struct Camera {
    explicit Camera(const std::string& host = "127.0.0.1", bool silent = false)
        : upgrade(vcq::CameraJob(host, kToken, kModels, "1.08"), window.Shared(), 3, silent) {
        vcq::ExchangeLimits limits;
        limits.read = 500ms;
        limits.total = 2s;
        upgrade.SetExchangeLimits(limits);
    }
    RecordingWindow window;
    CameraUpgrade upgrade;
};

std::string SysinfoBody(const std::string& model = "VCQ-R20") {
    return "ModelName=" + model + "&SoftVersion=1.05&Serial=12345678&";
}

}  // namespace

TEST(Checks, AdministratorIsTheFirstListedUser) {
    Camera c;
    EXPECT_TRUE(c.upgrade.CheckAdministrator("SysUserSet=" + kToken + ",dXNlcjpwdw==,&x=1"));
    EXPECT_TRUE(c.upgrade.CheckAdministrator("SysUserSet=" + kToken));
    EXPECT_TRUE(c.window.Boxes().empty());

    EXPECT_FALSE(c.upgrade.CheckAdministrator("SysUserSet=dXNlcjpwdw==," + kToken + ","));
    EXPECT_FALSE(c.upgrade.CheckAdministrator("HTTP/1.1 401 Unauthorized\r\n\r\n"));
    EXPECT_FALSE(c.upgrade.CheckAdministrator("HTTP/1.1 200 OK\r\n\r\nNothing=1&"));  // no message
    auto boxes = c.window.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Level 4 users other than Administrator cannot run the program.");
    EXPECT_EQ(boxes[1].text, "Please enter correct user name and password for the administrator.");
    for (const auto& box : boxes) {
        EXPECT_EQ(box.caption, "Information");
        EXPECT_EQ(box.icon, MessageIcon::Exclamation);
        EXPECT_EQ(box.buttons, vcq::MessageButtons::Ok);
    }
}

TEST(Checks, ModelMustBeOneOfTheList) {
    Camera c;
    for (const auto& model : kModels.names)
        EXPECT_TRUE(c.upgrade.CheckModel(SysinfoBody(model)));
    EXPECT_FALSE(c.upgrade.CheckModel(SysinfoBody("VCQ-R30")));
    EXPECT_FALSE(c.upgrade.CheckModel(SysinfoBody("VCQ-R2")));
    // An empty or missing model never matches the list's empty slots.
    EXPECT_FALSE(c.upgrade.CheckModel("ModelName=&Serial=1&"));
    EXPECT_FALSE(c.upgrade.CheckModel("Serial=1&"));
    auto texts = c.window.BoxTexts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "This program works for the VCQ-R30. Please select the correct camera.");
    EXPECT_EQ(texts[2], "This program works for the . Please select the correct camera.");
}

TEST(Checks, ImageMemoryOffPassesOnRefused) {
    Camera c;
    EXPECT_TRUE(c.upgrade.CheckImageMemory("ImageMemoryFunc=off&"));
    EXPECT_FALSE(c.upgrade.CheckImageMemory("ImageMemoryFunc=on&"));
    EXPECT_FALSE(c.upgrade.CheckImageMemory("Other=on&"));  // silently
    EXPECT_EQ(c.window.BoxTexts(),
              std::vector<std::string>{"Please disable \"Image Memory\" function."});
}

TEST(Checks, BuiltInSpaceNeedsFiveMebibytes) {
    Camera c;
    EXPECT_TRUE(c.upgrade.CheckBuiltInSpace("BuiltIn=Free space : 5242880 byte&"));
    EXPECT_TRUE(c.upgrade.CheckBuiltInSpace("BuiltIn=Free space :   99999999999999999999999 byte"));
    EXPECT_FALSE(c.upgrade.CheckBuiltInSpace("BuiltIn=Free space : 5242879 byte&"));
    EXPECT_EQ(c.upgrade.Step(), 0);  // the verdict is the caller's
    EXPECT_EQ(c.window.BoxTexts(),
              std::vector<std::string>{"There is not enough free space in the built-in memory."});

    Camera missing;
    EXPECT_FALSE(missing.upgrade.CheckBuiltInSpace("BuiltIn=unknown&"));
    EXPECT_EQ(missing.upgrade.Step(), 0);  // the verdict is the caller's
    EXPECT_TRUE(missing.window.Boxes().empty());
}

TEST(Checks, SilentShowsNothingButFailsAlike) {
    Camera c("127.0.0.1", true);
    EXPECT_FALSE(c.upgrade.CheckAdministrator("401 Unauthorized"));
    EXPECT_FALSE(c.upgrade.CheckAdministrator("SysUserSet=other,"));
    EXPECT_FALSE(c.upgrade.CheckModel(SysinfoBody("X")));
    EXPECT_FALSE(c.upgrade.CheckImageMemory("ImageMemoryFunc=on&"));
    EXPECT_FALSE(c.upgrade.CheckBuiltInSpace("BuiltIn=Free space : 1 byte"));
    EXPECT_TRUE(c.window.Boxes().empty());
}

TEST(Identity, ReadsModelVersionAndSerialForTheLists) {
    Camera c;
    int32_t index = -1;
    std::string model = "keep", version = "keep", serial = "keep";
    EXPECT_TRUE(c.upgrade.ParseIdentity("ModelName=VCQ-R20N&Serial=77&SoftVersion=1.05", index,
                                        model, version, serial));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(model, "VCQ-R20N");
    EXPECT_EQ(version, "ver1.05");
    EXPECT_EQ(serial, "77");

    EXPECT_TRUE(
        c.upgrade.ParseIdentity("Serial=8&SoftVersion=emergency", index, model, version, serial));
    EXPECT_EQ(version, "unknown");
    EXPECT_EQ(model, "VCQ-R20N");  // missing key leaves it

    model.clear();
    EXPECT_FALSE(c.upgrade.ParseIdentity("nothing", index, model, version, serial));

    EXPECT_TRUE(c.upgrade.ReadSoftVersion("ModelName=VCQ-R20&SoftVersion=1.08"));
    EXPECT_EQ(c.upgrade.CurrentVersion(), "1.08");
    EXPECT_FALSE(c.upgrade.ReadSoftVersion("ModelName=VCQ-R20&"));

    EXPECT_TRUE(c.upgrade.ReplyIsOk("HTTP/1.1 200 OK\r\n", index));
    EXPECT_FALSE(c.upgrade.ReplyIsOk("HTTP/1.1 204 No Content\r\n", index));
}

TEST(Preconditions, PassingCameraGivesVersionSerialAndNoMessage) {
    ScriptedServer server;
    server.SetReplies({{{{OkReply("SysUserSet=" + kToken + ",", "VCQCAM/1.05 ")}}},
                       {{{OkReply(SysinfoBody())}}},
                       {{{OkReply("ImageMemoryFunc=off&")}}},
                       {{{OkReply("BuiltIn=Free space : 8000000 byte&")}}}});
    Camera c(server.hostText());
    bool lowMemory = true;
    std::string serial;
    EXPECT_TRUE(c.upgrade.CheckPreconditions(lowMemory, &serial));
    EXPECT_FALSE(lowMemory);
    EXPECT_EQ(serial, "12345678");
    EXPECT_EQ(c.upgrade.CurrentVersion(), "1.05");
    EXPECT_TRUE(c.window.Boxes().empty());
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    const char* bodies[] = {"inq=sysuser", "inq=sysinfo", "inq=imagememory", "inq=builtin"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(requests[i], vcq::BuildCgiRequest("/command/inquiry.cgi", server.hostText(),
                                                    kToken, bodies[i]));
    }
}

TEST(Preconditions, FirstFailureEndsTheCheck) {
    ScriptedServer server;
    server.SetReply("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n");
    Camera c(server.hostText());
    bool lowMemory = true;
    EXPECT_FALSE(c.upgrade.CheckPreconditions(lowMemory, nullptr));
    EXPECT_FALSE(lowMemory);
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(c.window.BoxTexts(),
              std::vector<std::string>{
                  "Please enter correct user name and password for the administrator."});
}

TEST(Preconditions, LowSpaceSetsLowMemory) {
    ScriptedServer server;
    server.SetReplies({{{{OkReply("SysUserSet=" + kToken + ",")}}},
                       {{{OkReply(SysinfoBody())}}},
                       {{{OkReply("ImageMemoryFunc=off&")}}},
                       {{{OkReply("BuiltIn=Free space : 5242879 byte&")}}}});
    Camera c(server.hostText());
    bool lowMemory = false;
    EXPECT_FALSE(c.upgrade.CheckPreconditions(lowMemory, nullptr));
    EXPECT_TRUE(lowMemory);
    EXPECT_EQ(c.upgrade.Step(), 0);  // the verdict is the caller's
}

TEST(Preconditions, NoAnswerSaysTheCameraMayBeOff) {
    uint16_t closedPort;
    {
        ScriptedServer gone;
        closedPort = gone.port();
    }
    Camera c("127.0.0.1:" + std::to_string(closedPort));
    bool lowMemory = false;
    EXPECT_FALSE(c.upgrade.CheckPreconditions(lowMemory, nullptr));
    EXPECT_EQ(c.window.BoxTexts(),
              std::vector<std::string>{"Cannot find the camera. (The camera may be turned off.)"});
    EXPECT_FALSE(c.upgrade.InquireSysuser());
    EXPECT_TRUE(c.upgrade.Unanswered());
}

TEST(Preconditions, ReplyTooLargeIsReportedAsSuchNotAsACameraTurnedOff) {
    ScriptedServer server;
    server.SetReply("HTTP/1.1 200 OK\r\nContent-Length: 999999999999\r\n\r\nSysUserSet=");
    Camera c(server.hostText());
    bool lowMemory = false;
    EXPECT_FALSE(c.upgrade.CheckPreconditions(lowMemory, nullptr));
    EXPECT_EQ(c.window.BoxTexts(),
              std::vector<std::string>{"The camera's reply is too large to be read."});
    EXPECT_NE(c.upgrade.FailureDetail().find("larger than 64 MiB"), std::string::npos)
        << c.upgrade.FailureDetail();
}

TEST(Inquiries, ListInquiriesKeepTheirReplies) {
    ScriptedServer server;
    server.SetReplies(
        {{{{OkReply(SysinfoBody("VCQ-R20P"))}}}, {{{OkReply("SysUserSet=" + kToken + ",")}}}});
    Camera c(server.hostText(), true);
    EXPECT_TRUE(c.upgrade.InquireSysinfo());
    EXPECT_FALSE(c.upgrade.Unanswered());
    EXPECT_NE(c.upgrade.SysinfoText().find("VCQ-R20P"), std::string::npos);
    EXPECT_TRUE(c.upgrade.InquireSysuser());  // the login is the administrator's
}

// Identity and the model check as the lists and the headless tool use them,
// with no upgrade object.
TEST(Identity, ReadsASysinfoReplyAsItIs) {
    const struct {
        const char* reply;
        const char* model;
        const char* version;
        const char* serial;
        bool dhcp;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\n\r\nModelName=VCQ-R20&SoftVersion=1.05&Serial=77&Dhcp=on&", "VCQ-R20",
         "ver1.05", "77", true},
        {"ModelName=VCQ-R20N&Serial=8&SoftVersion=emergency", "VCQ-R20N", "unknown", "8", false},
        {"ModelName=VCQ-R20&Dhcp=off&", "VCQ-R20", "", "", false},
        {"Serial=1&SoftVersion=1.08", "", "ver1.08", "1", false},
        {"ModelName=VCQ-R20", "", "", "", false},  // a value without "&" is cut off
        {"", "", "", "", false},
        {"HTTP/1.1 401 Unauthorized\r\n\r\n", "", "", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        const vcq::CameraIdentity identity = vcq::ReadIdentity(c.reply);
        EXPECT_EQ(identity.model, c.model);
        EXPECT_EQ(identity.version, c.version);
        EXPECT_EQ(identity.serial, c.serial);
        EXPECT_EQ(identity.dhcp, c.dhcp);
    }
}

TEST(Identity, SupportedModelsAreTheFirstTenNamesOfTheList) {
    ModelList eleven;
    for (int i = 0; i < 11; ++i)
        eleven.names.push_back("M" + std::to_string(i));
    const ModelList withEmptySlot = {{"VCQ-R20", ""}};
    const struct {
        const char* model;
        const ModelList* models;
        bool supported;
    } cases[] = {
        {"VCQ-R20", &kModels, true},  {"VCQ-R20P", &kModels, true}, {"VCQ-R2", &kModels, false},
        {"vcq-r20", &kModels, false}, {"", &kModels, false},        {"", &withEmptySlot, false},
        {"VCQ-R20", nullptr, false},  {"M9", &eleven, true},        {"M10", &eleven, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vcq::IsSupportedModel(c.model, c.models), c.supported) << c.model;
}

TEST(Identity, MacAddressUsesDashes) {
    const std::pair<const char*, const char*> cases[] = {
        {"IpAddress=1.2.3.4&MacAddress=08:00:46:0a:0B:ff", "08-00-46-0a-0B-ff"},
        {"MacAddress=08:00:46:00:00:01&Other=1&", "08-00-46-00-00-01"},
        {"IpAddress=1.2.3.4&", ""},
        {"", ""},
    };
    for (const auto& [reply, mac] : cases) {
        EXPECT_EQ(vcq::ReadMacAddress(reply), mac) << reply;
        // The upgrade's own inquiry reads it alike and fails without one.
        ScriptedServer server;
        server.SetReply(OkReply(reply));
        Camera c(server.hostText());
        std::string asked;
        EXPECT_EQ(c.upgrade.InquireMacAddress(asked), *mac != '\0') << reply;
        EXPECT_EQ(asked, mac);
    }
}

TEST(Identity, InquireCameraSendsTheInquiryWithTheLogin) {
    ScriptedServer server;
    server.SetReply(OkReply("ModelName=VCQ-R20&SoftVersion=1.05&Serial=9&"));
    const std::string reply = vcq::InquireCamera(server.hostText(), kToken, "inq=sysinfo");
    EXPECT_EQ(vcq::ReadIdentity(reply).serial, "9");
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string request = server.Requests()[0];
    EXPECT_TRUE(request.starts_with("POST /command/inquiry.cgi HTTP/1.1\r\n")) << request;
    EXPECT_NE(request.find("Authorization: Basic " + kToken + "\r\n"), std::string::npos);
    EXPECT_TRUE(request.ends_with("\r\n\r\ninq=sysinfo")) << request;

    // Nobody listens on port 1: no reply, no wait.
    EXPECT_EQ(vcq::InquireCamera("127.0.0.1:1", kToken, "inq=sysinfo"), "");
}
