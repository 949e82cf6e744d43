// The probe and the stand-in responder over 127.0.0.1 with ephemeral ports:
// no broadcast, no real port, safe anywhere.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "discovery/discovery_probe.h"
#include "discovery/discovery_session.h"
#include "discovery_responder.h"
#include "probe_support.h"
#include "recording_window.h"

// Last: windows.h renames MessageBox and PostMessage.
#include "portable_env.h"

using namespace std::chrono_literals;
using vcq::DiscoveryOptions;
using vcq::DiscoveryProbe;
using vcq::DiscoveryTable;
using vcq::sim::DiscoveryFault;
using vcq::sim::DiscoveryResponder;
using vcq::test::TestCameras;
using vcq::test::WaitFor;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

class LoopbackDiscovery : public ::testing::Test {
  protected:
    void StartResponder(std::vector<vcq::sim::CameraConfig> cameras) {
        vcq::sim::DiscoveryResponderOptions options;
        options.listen = {kLoopback, 0};
        responder = std::make_unique<DiscoveryResponder>(std::move(cameras), options);
        ASSERT_TRUE(responder->Start());
    }
    DiscoveryOptions ProbeOptions() {
        DiscoveryOptions options;
        options.destination = {kLoopback, responder ? responder->Port() : uint16_t{9}};
        options.window = &window;
        return options;
    }
    void SetUp() override { table.SetModels(vcq::test::kSupportedModels); }

    DiscoveryTable table;
    vcq::test::RecordingWindow window;
    std::unique_ptr<DiscoveryResponder> responder;
};

}  // namespace

TEST_F(LoopbackDiscovery, CamerasAnswerFromTheirOwnAddressesAndAreRecorded) {
    StartResponder(TestCameras(3));
    DiscoveryProbe probe(ProbeOptions());
    probe.Start(table);
    EXPECT_TRUE(table.ThreadRunning());
    ASSERT_EQ(probe.SendEnquiry(), 0);
    ASSERT_TRUE(WaitFor([&] { return table.Count() == 3; }));
    for (int i = 0; i < 3; ++i) {
        auto expected = vcq::test::TestCamera(i);
        auto r = table.Record(i);
        EXPECT_EQ(r.mac, expected.mac);
        EXPECT_EQ(r.model, expected.model);
        EXPECT_EQ(vcq::net::FormatIpv4(r.address()), expected.address);
        EXPECT_EQ(r.webPort, expected.httpPort);
        EXPECT_EQ(r.dhcp, expected.dhcp ? 1 : 0);
    }
    probe.StopAndWait();
    EXPECT_FALSE(table.ThreadRunning());
    EXPECT_FALSE(table.StopPending());
    EXPECT_TRUE(table.SkippedNetworks().empty());
}

TEST_F(LoopbackDiscovery, FaultyCamerasAreSkippedOrReadAsFarAsTheyGo) {
    auto cameras = TestCameras(7);
    cameras[1].discoveryFault = DiscoveryFault::Silent;
    cameras[2].discoveryFault = DiscoveryFault::UnknownModel;
    cameras[3].discoveryFault = DiscoveryFault::NoModel;
    cameras[4].discoveryFault = DiscoveryFault::Malformed;
    cameras[5].discoveryFault = DiscoveryFault::Truncated;
    cameras[6].discoveryFault = DiscoveryFault::AnswerTwice;
    StartResponder(cameras);
    DiscoveryProbe probe(ProbeOptions());
    probe.Start(table);
    probe.SendEnquiry();
    // Silent, unknown and model-less cameras send 0, 1 and 1 datagrams; the
    // twice-answering one 2; the others 1 each.
    ASSERT_TRUE(WaitFor([&] { return responder->RepliesSent() == 7; }));
    ASSERT_TRUE(WaitFor([&] { return table.Count() == 4; }));
    probe.StopAndWait();

    auto records = table.Snapshot();
    std::vector<std::string> macs;
    for (auto& r : records)
        macs.push_back(r.mac);
    EXPECT_EQ(macs, (std::vector<std::string>{cameras[0].mac, cameras[4].mac, cameras[5].mac,
                                              cameras[6].mac}));
    const auto& malformed = records[1];
    EXPECT_EQ(malformed.dhcp, 0);                              // "ON " is not ON
    EXPECT_EQ(malformed.webPort, 0);                           // not a number
    EXPECT_EQ(malformed.softVersion, cameras[4].softVersion);  // runs to the end
    EXPECT_EQ(vcq::net::FormatIpv4(malformed.address()), cameras[4].address);
    const auto& truncated = records[2];
    EXPECT_EQ(truncated.ip[0], 127);
    EXPECT_EQ(truncated.ip[1], 0);
    EXPECT_EQ(truncated.webPort, 80);
    EXPECT_STREQ(truncated.softVersion, "");
}

TEST_F(LoopbackDiscovery, RepliesAreIgnoredWhileNotAccepting) {
    StartResponder(TestCameras(2));
    DiscoveryProbe probe(ProbeOptions());
    probe.Start(table);
    table.SetAccepting(false);
    probe.SendEnquiry();
    ASSERT_TRUE(WaitFor([&] { return responder->RepliesSent() == 2; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(table.Count(), 0);
}

TEST_F(LoopbackDiscovery, BindFailureIsToldAndNothingStarts) {
    auto options = ProbeOptions();
    options.local = {0xC0000201, 0};  // 192.0.2.1 is not ours: bind fails, nothing is sent
    DiscoveryProbe probe(options);
    probe.Start(table);
    EXPECT_EQ(
        table.SkippedNetworks(),
        std::vector<std::string>{
            "127.0.0.1: cannot bind to its address: the address is not available on this PC"});
    EXPECT_TRUE(table.SearchedNetworks().empty());
    EXPECT_FALSE(table.ThreadRunning());
    EXPECT_FALSE(probe.LocalEndpoint().has_value());
}

// Adapters as a technician's laptop has them; nothing is sent. Every row
// starts the search twice, each with the adapters listed afresh.
TEST_F(LoopbackDiscovery, AdaptersThatCannotBeUsedAreSkippedWithTheirReason) {
    const auto adapter = [](const char* name, uint32_t address, const char* unusable = "") {
        vcq::net::NetworkInterface nic;
        nic.name = name;
        nic.address = address;
        nic.prefixLength = 8;
        nic.unusable = unusable;
        return nic;
    };
    const auto tentative = adapter("Wi-Fi", 0x7F000003, "the address is tentative");
    const auto duplicate = adapter("Ethernet 3", 0x7F000004, "the address is a duplicate");
    struct Case {
        const char* what;
        std::vector<vcq::net::NetworkInterface> adapters;
        std::vector<std::string> searched;
        std::vector<std::string> skipped;
        bool realBind;  // wine binds to any address at all
    } cases[] = {
        {"one fails to bind",
         {adapter("Ethernet", kLoopback), adapter("Ethernet 2", 0xC0000201)},
         {"Ethernet 127.0.0.1/8"},
         {"Ethernet 2 192.0.2.1/8: cannot bind to its address: the address is not available on "
          "this PC"},
         true},
        {"one tentative",
         {tentative, adapter("Ethernet", 0x7F000002)},
         {"Ethernet 127.0.0.2/8"},
         {"Wi-Fi 127.0.0.3/8: the address is tentative"},
         false},
        {"none usable",
         {tentative, duplicate},
         {},
         {"Wi-Fi 127.0.0.3/8: the address is tentative",
          "Ethernet 3 127.0.0.4/8: the address is a duplicate"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.realBind && vcq::test::UnderWine())
            continue;
        int listed = 0;
        DiscoveryOptions options;
        options.destination = {vcq::net::kBroadcastAddress, 9};
        options.interfaces = [&] {
            ++listed;
            return listed == 1 ? c.adapters : std::vector{adapter("Ethernet 9", 0x7F000009)};
        };
        DiscoveryProbe probe(options);
        probe.Start(table);
        EXPECT_EQ(table.SearchedNetworks(), c.searched);
        EXPECT_EQ(table.SkippedNetworks(), c.skipped);
        EXPECT_EQ(table.ThreadRunning(), !c.searched.empty());
        probe.StopAndWait();
        // A later search sees the adapters as they are then.
        probe.Start(table);
        EXPECT_EQ(listed, 2);
        EXPECT_EQ(table.SearchedNetworks(), std::vector<std::string>{"Ethernet 9 127.0.0.9/8"});
        EXPECT_TRUE(table.SkippedNetworks().empty());
        probe.StopAndWait();
    }
}

TEST_F(LoopbackDiscovery, FailedSendEndsTheSearchWithTheBoxAndItsReason) {
    StartResponder(TestCameras(1));
    DiscoveryProbe probe(ProbeOptions());
    probe.Start(table);
    std::string tooLong(70000, 'x');  // larger than any UDP datagram: never leaves
    EXPECT_EQ(probe.Send(tooLong.data(), tooLong.size()), -1);
    ASSERT_TRUE(WaitFor([&] { return !table.ThreadRunning(); }));
    EXPECT_EQ(table.SkippedNetworks(),
              std::vector<std::string>{"the enquiry could not be sent: the message is too long"});
    auto boxes = window.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Network NG");
    EXPECT_EQ(boxes[0].caption, "Information");
    EXPECT_EQ(boxes[0].icon, vcq::MessageIcon::Stop);
    EXPECT_FALSE(probe.LocalEndpoint().has_value());  // the socket is closed
}

TEST_F(LoopbackDiscovery, StopIsSeenWithinOneReceiveTimeout) {
    auto options = ProbeOptions();
    options.receiveTimeout = 200ms;
    DiscoveryProbe probe(options);
    probe.Start(table);
    std::this_thread::sleep_for(30ms);  // let the thread settle into a receive
    auto start = std::chrono::steady_clock::now();
    table.RequestStop();
    // The window's way: poll the flag until the thread has cleared it.
    while (table.StopPending())
        std::this_thread::sleep_for(10ms);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 200ms + 100ms);
    EXPECT_FALSE(table.ThreadRunning());
    EXPECT_FALSE(probe.LocalEndpoint().has_value());
}

TEST(DiscoveryResponderUnit, AnswersOnlyTheExactEnquiryAndStopsQuickly) {
    vcq::sim::DiscoveryResponderOptions options;
    options.listen = {kLoopback, 0};
    auto responder = std::make_unique<DiscoveryResponder>(TestCameras(1), options);
    ASSERT_TRUE(responder->Start());
    vcq::net::UdpSocket client;
    ASSERT_TRUE(client.Open());
    ASSERT_TRUE(client.Bind({kLoopback, 0}));
    vcq::net::Endpoint to{kLoopback, responder->Port()};
    client.SendTo(to, "ENQ:allinfo");
    client.SendTo(to, std::string(vcq::kDiscoveryEnquiry) + "x");
    client.SendTo(to, vcq::kDiscoveryEnquiry);
    char buf[1100];
    vcq::net::Endpoint from;
    auto got = client.ReceiveFrom(buf, sizeof buf, from, 2000ms);
    ASSERT_TRUE(got.ok());
    EXPECT_EQ(vcq::net::FormatEndpoint(from), "127.0.1.2:" + std::to_string(responder->Port()));
    std::string reply(buf, got.bytes);
    EXPECT_EQ(reply.front(), '\x02');
    EXPECT_EQ(reply.back(), '\x03');
    EXPECT_NE(reply.find("MAC:08:00:46:00:00:00\xFF"), std::string::npos);
    EXPECT_EQ(client.ReceiveFrom(buf, sizeof buf, from, 100ms).status,
              vcq::net::IoStatus::TimedOut);
    EXPECT_EQ(responder->EnquiriesHeard(), 1);

    auto start = std::chrono::steady_clock::now();
    responder.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

TEST_F(LoopbackDiscovery, SessionRepeatsTheEnquiryOnTheFirstTickAndStopsOnTheSecond) {
    StartResponder(TestCameras(1));
    vcq::DiscoverySession session(window, table, ProbeOptions());
    session.Start();
    const uint32_t id = session.TimerId();
    EXPECT_EQ(window.ActiveTimers(), std::vector<uint32_t>{id});
    ASSERT_TRUE(WaitFor([&] { return table.Count() == 1; }));
    EXPECT_EQ(responder->EnquiriesHeard(), 1);

    EXPECT_FALSE(session.OnTimer(id + 1));
    EXPECT_TRUE(session.OnTimer(id));
    ASSERT_TRUE(WaitFor([&] { return responder->EnquiriesHeard() == 2; }));
    EXPECT_TRUE(table.ThreadRunning());

    EXPECT_TRUE(session.OnTimer(id));
    EXPECT_TRUE(window.ActiveTimers().empty());
    ASSERT_TRUE(WaitFor([&] { return !table.ThreadRunning(); }));
    EXPECT_FALSE(session.OnTimer(id));
    EXPECT_EQ(table.Count(), 1);  // the records stay readable
    EXPECT_EQ(responder->EnquiriesHeard(), 2);
}

TEST_F(LoopbackDiscovery, SessionShutdownBeforeTheEndKillsTheTimerAndWaits) {
    vcq::DiscoverySession session(window, table, ProbeOptions());
    session.Start();
    EXPECT_TRUE(table.ThreadRunning());
    session.Shutdown();
    EXPECT_TRUE(window.ActiveTimers().empty());
    EXPECT_FALSE(table.ThreadRunning());
    EXPECT_FALSE(table.StopPending());
    EXPECT_TRUE(table.SkippedNetworks().empty());
}
