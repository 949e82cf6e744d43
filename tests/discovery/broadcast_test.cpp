// Discovery with its real endpoint: the broadcast to 255.255.255.255:2380.
// Runs only inside tests/isolated, where broadcast stays on a private lo.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>
#include <set>

#include "discovery/discovery_probe.h"
#include "discovery_responder.h"
#include "isolated_env.h"
#include "private_network.h"
#include "probe_support.h"

using namespace std::chrono_literals;
using vcq::DiscoveryProbe;
using vcq::DiscoveryTable;
using vcq::sim::CameraConfig;
using vcq::sim::DiscoveryFault;
using vcq::sim::DiscoveryResponder;
using vcq::test::TestCamera;
using vcq::test::TestCameras;
using vcq::test::WaitFor;

namespace {

class BroadcastDiscovery : public ::testing::Test {
  protected:
    void SetUp() override {
        VCQ_REQUIRE_ISOLATED_NETWORK();
        table.SetModels(vcq::test::kSupportedModels);
    }
    DiscoveryResponder& AddResponder(std::vector<CameraConfig> cameras,
                                     std::chrono::milliseconds delay = 0ms) {
        vcq::sim::DiscoveryResponderOptions options;
        options.replyDelay = delay;
        responders.push_back(std::make_unique<DiscoveryResponder>(std::move(cameras), options));
        EXPECT_TRUE(responders.back()->Start());
        return *responders.back();
    }
    std::set<std::string> Macs() {
        std::set<std::string> macs;
        for (const auto& r : table.Snapshot())
            macs.insert(r.mac);
        return macs;
    }

    DiscoveryTable table;
    std::vector<std::unique_ptr<DiscoveryResponder>> responders;
};

struct CommandResult {
    int status = -1;
    std::string out;
};

CommandResult RunCli(const std::string& args, const std::string& prefix = "") {
    CommandResult result;
    std::string command = prefix + VCQ_CLI_PATH + " " + args;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, pipe))
        result.out.append(buf, n);
    int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

}  // namespace

TEST_F(BroadcastDiscovery, EveryCameraOfSeveralRespondersIsRecordedOnce) {
    auto first = TestCameras(5);
    first[1].discoveryFault = DiscoveryFault::AnswerTwice;
    std::vector<CameraConfig> second = {TestCamera(5), TestCamera(6)};
    auto& a = AddResponder({first.begin(), first.end()});
    auto& b = AddResponder(second);
    DiscoveryProbe probe;
    probe.Start(table);
    ASSERT_EQ(probe.SendEnquiry(), 0);
    ASSERT_TRUE(WaitFor([&] { return a.RepliesSent() == 6 && b.RepliesSent() == 2; }));
    ASSERT_TRUE(WaitFor([&] { return table.Count() == 7; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(table.Count(), 7);
    EXPECT_EQ(Macs().size(), 7u);
    EXPECT_EQ(a.EnquiriesHeard(), 1);
    EXPECT_EQ(b.EnquiriesHeard(), 1);
}

TEST_F(BroadcastDiscovery, SecondEnquiryRefreshesTheRecords) {
    auto& responder = AddResponder(TestCameras(3));
    DiscoveryProbe probe;
    probe.Start(table);
    probe.SendEnquiry();
    ASSERT_TRUE(WaitFor([&] { return table.Count() == 3; }));
    CameraConfig upgraded = TestCamera(1);
    upgraded.softVersion = "1.08";
    upgraded.dnsAuto = true;
    responder.SetCamera(1, upgraded);
    responder.SetFault(2, DiscoveryFault::Silent);
    probe.SendEnquiry();
    ASSERT_TRUE(WaitFor([&] { return std::string(table.Record(1).softVersion) == "1.08"; }));
    EXPECT_EQ(table.Record(1).dnsAuto, 1);
    EXPECT_EQ(table.Count(), 3);
    EXPECT_EQ(responder.EnquiriesHeard(), 2);
    EXPECT_TRUE(WaitFor([&] { return responder.RepliesSent() == 5; }));  // the silent one stopped
}

TEST_F(BroadcastDiscovery, ReplyAfterTheStopIsNotReadAndTheThreadEndsPromptly) {
    auto& late = AddResponder(TestCameras(2), 300ms);
    DiscoveryProbe probe;
    probe.Start(table);
    probe.SendEnquiry();
    ASSERT_TRUE(WaitFor([&] { return late.EnquiriesHeard() == 1; }));

    auto start = std::chrono::steady_clock::now();
    table.RequestStop();
    while (table.StopPending())
        std::this_thread::sleep_for(1ms);
    // One receive time-out is 5 ms; the rest is scheduling on a busy machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5ms + 95ms);
    EXPECT_FALSE(table.ThreadRunning());

    ASSERT_TRUE(WaitFor([&] { return late.RepliesSent() == 2; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(table.Count(), 0);
}

// All 256 answer the same enquiry within a few milliseconds, each with a
// full-size reply. On Linux a 1,072-byte datagram costs the receiving socket
// about 2.3 kB of buffer, so the default ~208 kB holds only ~90 of them if the
// receive thread is slow to run; the probe asks for 1 MB (2 MB granted).
TEST_F(BroadcastDiscovery, AFullTableOfCamerasAnsweringAtOnceIsRecordedWhole) {
    vcq::sim::DiscoveryResponderOptions options;
    options.padRepliesTo = vcq::kMaxReplyBytes;
    DiscoveryResponder responder(TestCameras(256), options);
    ASSERT_TRUE(responder.Start());
    DiscoveryProbe probe;
    probe.Start(table);
    probe.SendEnquiry();
    ASSERT_TRUE(WaitFor([&] { return responder.RepliesSent() == 256; }));
    EXPECT_TRUE(WaitFor([&] { return table.Count() == 256; }));
    EXPECT_EQ(Macs().size(), 256u);
}

TEST_F(BroadcastDiscovery, CommandPrintsOneLinePerCamera) {
    auto cameras = TestCameras(2);
    cameras[1].dhcp = true;
    cameras[1].dnsAuto = true;
    auto& responder = AddResponder(cameras);
    auto result = RunCli("discover --second-after 500 --stop-after 1000");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "08:00:46:00:00:00\t127.0.1.2\t8000\tVCQ-R20\t10000000\t1.05\t0\t0\n"
              "08:00:46:00:00:01\t127.0.1.3\t8001\tVCQ-R20N\t10000001\t1.05\t1\t1\n");
    EXPECT_EQ(responder.EnquiriesHeard(), 2);
}

TEST_F(BroadcastDiscovery, CommandSendsTheSecondEnquiryOnTimeAndStops) {
    auto& responder = AddResponder(TestCameras(1));
    std::thread cli([&] { RunCli("discover --second-after 600 --stop-after 1200 >/dev/null"); });
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(responder.EnquiriesHeard(), 1);
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(responder.EnquiriesHeard(), 2);
    cli.join();
    EXPECT_EQ(responder.EnquiriesHeard(), 2);
}

// Cameras on two networks of the private namespace, each hearing only the
// broadcast of its own segment, as a camera behind another adapter hears only
// what goes out of that adapter: the enquiry goes out on every interface and
// the replies land in one table, a camera heard on both networks once.
TEST_F(BroadcastDiscovery, CamerasBehindEveryInterfaceAreFoundOnce) {
    struct Network {
        std::string name, own, broadcast;
        std::vector<std::pair<std::string, int>> cameras;  // address, TestCamera index
    };
    struct Case {
        const char* what;
        std::vector<Network> networks;
        size_t cameras;
    };
    const Case cases[] = {
        {"two networks, cameras behind each",
         {{"vcqa", "192.0.2.1/24", "192.0.2.255", {{"192.0.2.10", 0}, {"192.0.2.11", 1}}},
          {"vcqb", "198.51.100.1/24", "198.51.100.255", {{"198.51.100.10", 2}}}},
         3},
        {"one camera on both networks",
         {{"vcqa", "192.0.2.1/24", "192.0.2.255", {{"192.0.2.10", 0}}},
          {"vcqb", "198.51.100.1/24", "198.51.100.255", {{"198.51.100.10", 0}}}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::unique_ptr<vcq::test::PrivateNetwork>> networks;
        std::vector<std::unique_ptr<DiscoveryResponder>> behind;
        for (const Network& n : c.networks) {
            std::vector<std::string> addresses = {n.own};
            std::vector<CameraConfig> cameras;
            for (const auto& [address, index] : n.cameras) {
                addresses.push_back(address + "/24");
                cameras.push_back(TestCamera(index));
                cameras.back().address = address;
            }
            networks.push_back(std::make_unique<vcq::test::PrivateNetwork>(n.name, addresses));
            ASSERT_TRUE(networks.back()->ok()) << n.name;
            vcq::sim::DiscoveryResponderOptions options;
            options.listen = {*vcq::net::ParseIpv4(n.broadcast), vcq::kDiscoveryPort};
            behind.push_back(std::make_unique<DiscoveryResponder>(cameras, options));
            ASSERT_TRUE(behind.back()->Start());
        }
        DiscoveryTable found;
        found.SetModels(vcq::test::kSupportedModels);
        DiscoveryProbe probe;
        probe.Start(found);
        ASSERT_EQ(probe.SendEnquiry(), 0);
        for (auto& responder : behind)
            EXPECT_TRUE(WaitFor([&] { return responder->RepliesSent() > 0; }));
        EXPECT_TRUE(WaitFor([&] { return static_cast<size_t>(found.Count()) == c.cameras; }));
        std::vector<std::string> searched;
        for (const Network& n : c.networks)
            searched.push_back(n.name + " " + n.own);
        EXPECT_EQ(found.SearchedNetworks(), searched);

        // The headless tool names the networks it searched.
        auto result = RunCli("discover --second-after 0 --stop-after 500 2>&1");
        EXPECT_EQ(result.status, 0);
        for (const std::string& network : searched)
            EXPECT_NE(result.out.find("discover: searching " + network + "\n"), std::string::npos)
                << result.out;
        probe.StopAndWait();
    }
}

// Inside the private network, so even a broken guard could not leak.
TEST_F(BroadcastDiscovery, CommandRefusesToBroadcastWithoutTheIsolationFlag) {
    auto& responder = AddResponder(TestCameras(1));
    auto result = RunCli("discover --stop-after 100 --bogus 2>/dev/null");
    EXPECT_EQ(result.status, 2);
    result =
        RunCli("discover --second-after 0 --stop-after 100 2>/dev/null", "env -u VCQ_ISOLATED ");
    EXPECT_EQ(result.status, 6);
    EXPECT_EQ(result.out, "");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(responder.EnquiriesHeard(), 0);
}
