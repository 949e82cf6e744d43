#include <gtest/gtest.h>

#include <chrono>

#include "protocol/cgi_client.h"
#include "scripted_server.h"

using namespace std::chrono_literals;
using vcq::BuildCgiRequest;
using vcq::CgiClient;
using vcq::EncodeBasicToken;
using vcq::ExchangeLimits;
using vcq::test::OkReply;
using vcq::test::ScriptedReply;
using vcq::test::ScriptedServer;

namespace {

const std::string kRequest =
    BuildCgiRequest("/command/inquiry.cgi", "127.0.0.1", "t", "inq=sysinfo");

ExchangeLimits ShortLimits() {
    ExchangeLimits limits;
    limits.connect = 1s;
    limits.read = 300ms;
    limits.total = 2s;
    return limits;
}

}  // namespace

TEST(CgiRequest, LayoutIsExactWithAndWithoutPort) {
    EXPECT_EQ(
        BuildCgiRequest("/command/inquiry.cgi", "192.168.0.10", "YWRtaW46YWRtaW4=", "inq=sysinfo"),
        "POST /command/inquiry.cgi HTTP/1.1\r\n"
        "Host: 192.168.0.10\r\n"
        "Cache-Control: no-cache\r\n"
        "Authorization: Basic YWRtaW46YWRtaW4=\r\n"
        "Content-Length: 11\r\n\r\n"
        "inq=sysinfo");
    EXPECT_EQ(BuildCgiRequest("/command/main.cgi", "192.168.0.10:8080", "dDp1", "System=versionup"),
              "POST /command/main.cgi HTTP/1.1\r\n"
              "Host: 192.168.0.10:8080\r\n"
              "Cache-Control: no-cache\r\n"
              "Authorization: Basic dDp1\r\n"
              "Content-Length: 16\r\n\r\n"
              "System=versionup");
}

TEST(BasicToken, EncodesRfc4648VectorsAndPadding) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"admin:admin", "YWRtaW46YWRtaW4="},
    };
    for (auto [in, out] : vectors)
        EXPECT_EQ(EncodeBasicToken(in), out) << in;
    // High bytes and the last two alphabet letters.
    EXPECT_EQ(EncodeBasicToken("\xfb\xff\xbf"), "+/+/");
    // Credentials beyond the old 36-byte limit are encoded whole.
    std::string longCredentials(200, 'x');
    EXPECT_EQ(EncodeBasicToken(longCredentials).size(), 268u);
}

TEST(ServerHeader, VersionIsTheTextAfterTheFirstSlashTrimmed) {
    EXPECT_EQ(vcq::ServerVersionFromHeader("VCQCAM/1.05 "), "1.05");
    EXPECT_EQ(vcq::ServerVersionFromHeader("VCQCAM/1.05/beta"), "1.05/beta");
    EXPECT_EQ(vcq::ServerVersionFromHeader("NoSlash"), "NoSlash");
}

TEST(HostText, SplitsAddressAndPort) {
    vcq::net::Endpoint e;
    ASSERT_TRUE(CgiClient::ParseHostText("192.168.0.10", e));
    EXPECT_EQ(e.port, 80);
    ASSERT_TRUE(CgiClient::ParseHostText("192.168.0.10:8080", e));
    EXPECT_EQ(e.port, 8080);
    EXPECT_EQ(e.address, 0xC0A8000Au);
    for (const char* bad : {"camera.local", "192.168.0.10:", "192.168.0.10:0", "192.168.0.10:65536",
                            "192.168.0.10:80x", "192.168.0.300", ""})
        EXPECT_FALSE(CgiClient::ParseHostText(bad, e)) << bad;
}

TEST(Exchange, ReadsOneReplyAndSendsTheRequestUnchanged) {
    ScriptedServer server;
    server.SetReply(OkReply("ModelName=VCQ-R20&", "VCQCAM/1.07 "));
    CgiClient client(server.hostText(), ShortLimits());
    std::string request =
        BuildCgiRequest("/command/inquiry.cgi", server.hostText(), "t", "inq=sysinfo");
    std::string reply = client.Exchange(request);
    EXPECT_EQ(reply, OkReply("ModelName=VCQ-R20&", "VCQCAM/1.07 "));
    EXPECT_EQ(client.serverVersion(), "1.07");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0], request);
}

TEST(Exchange, NoContentReplyEndsAfterTheFirstRead) {
    ScriptedServer server;
    server.SetReply(ScriptedReply{{{"HTTP/1.1 204 No Content\r\nServer: V/1.0\r\n\r\n"}}, true});
    CgiClient client(server.hostText(), ShortLimits());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Exchange(kRequest), "HTTP/1.1 204 No Content\r\nServer: V/1.0\r\n\r\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 250ms);  // did not wait for more
}

TEST(Exchange, CollectsBodiesThatArriveLaterOrExceedTheBuffer) {
    ScriptedServer server;
    std::string body(50000, 'b');
    std::string whole = OkReply(body);
    size_t headerEnd = whole.find("\r\n\r\n") + 4;
    server.SetReplies({
        // Headers and body in separate segments.
        ScriptedReply{{{whole.substr(0, headerEnd)}, {whole.substr(headerEnd), 50ms}}},
        // Headers split across segments too.
        ScriptedReply{
            {{whole.substr(0, 10)}, {whole.substr(10, 30), 30ms}, {whole.substr(40), 30ms}}},
    });
    for (int i = 0; i < 2; ++i) {
        CgiClient client(server.hostText(), ShortLimits());
        EXPECT_TRUE(client.Exchange(kRequest) == whole) << i;
    }
}

TEST(Exchange, EveryMisbehaviourGivesAnEmptyReplyWithinTheBounds) {
    ScriptedServer server;
    std::string whole = OkReply(std::string(3000, 'b'));
    server.SetReplies({
        ScriptedReply{{}, true},                                       // accepts, never answers
        ScriptedReply{{{whole.substr(0, whole.size() - 100)}}},        // body cut short by a close
        ScriptedReply{{{whole.substr(0, whole.size() - 100)}}, true},  // body stalls
        ScriptedReply{{{"HTTP/1.1 200 OK\r\nServer: V/1"}}},           // headers cut short
        ScriptedReply{{{"HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\nx"}}},
    });
    for (int i = 0; i < 5; ++i) {
        auto start = std::chrono::steady_clock::now();
        CgiClient client(server.hostText(), ShortLimits());
        EXPECT_EQ(client.Exchange(kRequest), "") << i;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms) << i;
    }
}

TEST(Exchange, UnreachableOrInvalidHostGivesEmptyReply) {
    uint16_t closedPort;
    {
        ScriptedServer gone;
        closedPort = gone.port();
    }
    CgiClient refused("127.0.0.1:" + std::to_string(closedPort), ShortLimits());
    EXPECT_EQ(refused.Exchange(kRequest), "");
    CgiClient named("localhost", ShortLimits());
    EXPECT_EQ(named.Exchange(kRequest), "");
}

TEST(Exchange, TotalBoundStopsATricklingCamera) {
    ScriptedServer server;
    std::string whole = OkReply(std::string(40, 'b'));
    ScriptedReply trickle;
    trickle.segments.push_back({whole.substr(0, whole.size() - 40)});
    for (int i = 0; i < 40; ++i)
        trickle.segments.push_back({"b", 100ms});
    server.SetReply(trickle);
    ExchangeLimits limits = ShortLimits();
    limits.total = 1s;
    CgiClient client(server.hostText(), limits);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Exchange(kRequest), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1800ms);
}
