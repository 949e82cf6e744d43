// A camera list loaded into the add-other-cameras dialog and verified against
// stand-in cameras on port 80 of 127.x addresses: only inside tests/isolated.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "isolated_env.h"
#include "recording_window.h"
#include "simulator.h"
#include "sysinfo_camera.h"
#include "targets/add_cameras_state.h"

namespace vcq {
namespace {

using namespace std::chrono_literals;
namespace sim = vcq::sim;
using test::SysinfoCamera;

TEST(VerifyCameras, ALoadedListIsJudgedAndTheValidRowsHandedOver) {
    VCQ_REQUIRE_ISOLATED_NETWORK();
    sim::Simulator simulator;
    std::string error;
    ASSERT_TRUE(simulator.AddCameras(
        {SysinfoCamera("127.0.0.2", "VCQ-R20"), SysinfoCamera("127.0.0.3", "VCQ-X99"),
         SysinfoCamera("127.0.0.4", "VCQ-R20"), SysinfoCamera("127.0.0.5", "VCQ-R20N", 8080)},
        &error))
        << error;
    simulator.SetHttpFault(2, sim::HttpFault::AcceptNeverAnswer);  // lingers, never answers

    test::RecordingWindow window;
    const std::vector<Ipv4> detected = {{192, 168, 0, 7}};
    AddCamerasState dialog(
        1, ModelList{{"VCQ-R20", "VCQ-R20N"}}, [&] { return detected; }, &window);
    ExchangeLimits quick;
    quick.connect = 1000ms;
    quick.read = 1000ms;
    quick.total = 3000ms;
    dialog.List().SetExchange(SysinfoInquiry(quick));

    CameraListParser parser(&window);
    ASSERT_TRUE(
        parser.ReadText("127.0.0.2\r\n127.0.0.3\r\n127.0.0.4\r\n127.0.0.5,8080\r\n"
                        "127.0.0.2,8080\r\n"));
    ASSERT_EQ(dialog.Import(parser), 5u);

    auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!dialog.List().OkEnabled() && std::chrono::steady_clock::now() < deadline) {
        dialog.List().Tick();
        EXPECT_LE(dialog.List().RunningJobs(), kVerifyVisitsPerTick);
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_TRUE(dialog.List().OkEnabled());

    struct Expected {
        const char* address;
        const char* model;
        int32_t validity;
        int32_t duplicate;
    };
    const Expected expected[] = {
        {"127.0.0.2", "VCQ-R20", 1, 1},           // its address twice: amber
        {"127.0.0.3", "VCQ-X99", 2, 0},           // another model: grey
        {"127.0.0.4", "No response", 2, 0},       // silent
        {"127.0.0.5:8080", "VCQ-R20N", 1, 0},     // the one valid row
        {"127.0.0.2:8080", "No response", 2, 1},  // nothing on that port
    };
    ASSERT_EQ(dialog.List().RowCount(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const VerifyRow& row = dialog.List().RowAt(i);
        EXPECT_EQ(row.texts[verify_text::kAddress], expected[i].address);
        EXPECT_EQ(row.texts[verify_text::kModel], expected[i].model);
        EXPECT_EQ(row.validity, expected[i].validity);
        EXPECT_EQ(row.duplicate, expected[i].duplicate);
    }
    EXPECT_EQ(dialog.List().RowAt(0).texts[verify_text::kVersion], "1.05");

    window.QueueAnswer(MessageAnswer::Cancel);
    EXPECT_FALSE(dialog.Accept().has_value());
    auto handed = dialog.Accept();
    ASSERT_TRUE(handed.has_value());
    EXPECT_EQ(window.BoxTexts(),
              (std::vector<std::string>{"Not all the listed cameras are valid!",
                                        "Not all the listed cameras are valid!"}));
    ASSERT_EQ(handed->size(), 1u);
    EXPECT_EQ((*handed)[0].texts[2], "127.0.0.5:8080");
    EXPECT_EQ((*handed)[0].texts[3], "VCQ-R20N");
    EXPECT_EQ((*handed)[0].tag, 0);
    EXPECT_EQ(simulator.RequestCount(3, "inq=sysinfo"), 1);
}

}  // namespace
}  // namespace vcq
