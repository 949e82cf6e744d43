// Who may broadcast: the decision in both kinds of build, and the kind this
// build was configured as.
#include <gtest/gtest.h>

#include <cstdlib>

#include "discovery/broadcast_guard.h"
#include "portable_env.h"

namespace vcq {
namespace {

TEST(BroadcastGuard, DevelopmentBuildNeedsTheIsolatedNetworkOrTheFlag) {
    EXPECT_FALSE(BroadcastAllowed(true, false, false));
    EXPECT_TRUE(BroadcastAllowed(true, true, false));
    EXPECT_TRUE(BroadcastAllowed(true, false, true));
    EXPECT_TRUE(BroadcastAllowed(true, true, true));
}

TEST(BroadcastGuard, ReleaseBuildAlwaysBroadcasts) {
    for (bool isolated : {false, true}) {
        for (bool flag : {false, true})
            EXPECT_TRUE(BroadcastAllowed(false, isolated, flag)) << isolated << flag;
    }
}

TEST(BroadcastGuard, ThisBuildAndTheEnvironment) {
    EXPECT_EQ(BroadcastGuardBuilt(), VCQ_EXPECT_BROADCAST_GUARD != 0);
    const char* saved = std::getenv("VCQ_ISOLATED");
    const std::string keep = saved ? saved : "";
    for (const char* value : {"1", "0", "yes", ""}) {
        test::SetEnv("VCQ_ISOLATED", value);
#ifdef _WIN32
        // Neither the variable nor the flag lets a development build broadcast on Windows.
        EXPECT_FALSE(InsideIsolatedNetwork()) << value;
        EXPECT_EQ(BroadcastAllowed(false), !BroadcastGuardBuilt()) << value;
        EXPECT_EQ(BroadcastAllowed(true), !BroadcastGuardBuilt()) << value;
#else
        const bool isolated = std::string(value) == "1";
        EXPECT_EQ(InsideIsolatedNetwork(), isolated) << value;
        EXPECT_EQ(BroadcastAllowed(false), !BroadcastGuardBuilt() || isolated) << value;
        EXPECT_TRUE(BroadcastAllowed(true));
#endif
    }
    test::UnsetEnv("VCQ_ISOLATED");
    EXPECT_EQ(BroadcastAllowed(false), !BroadcastGuardBuilt());
    if (saved)
        test::SetEnv("VCQ_ISOLATED", keep);
}

}  // namespace
}  // namespace vcq
