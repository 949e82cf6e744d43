// vcq-camera-sim run as a program, as a demo or a script runs it.
#include <gtest/gtest.h>

#include <chrono>

#include "child_process.h"
#include "isolated_env.h"

namespace {

// On Linux SIGINT, on Windows a console Ctrl-C: either way the cameras stop
// and the program ends by itself, not killed with a signal's or Ctrl-C's code.
TEST(SimulatorProgram, CtrlCStopsTheCamerasAndEndsCleanly) {
    VCQ_REQUIRE_ISOLATED_NETWORK();
    vcq::test::ChildProcess sim(VCQ_SIM, {"--camera", "address=127.0.0.7"});
    const std::string line = sim.ReadLine();
    ASSERT_EQ(line.rfind("listening on 127.0.0.7:80, ftp 127.0.0.7:21", 0), 0u) << line;
    const auto start = std::chrono::steady_clock::now();
    sim.Interrupt();
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
