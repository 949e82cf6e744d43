// Guards for tests that use the program's real endpoints: they must run
// inside tests/isolated, never on the machine's own network.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace vcq::test {

inline bool InsideIsolatedNetwork() {
    const char* flag = std::getenv("VCQ_ISOLATED");
    return flag != nullptr && std::string(flag) == "1";
}

}  // namespace vcq::test

// Put at the top of a test (or SetUp) that binds real ports or broadcasts.
#define VCQ_REQUIRE_ISOLATED_NETWORK()                                                   \
    do {                                                                                 \
        if (!::vcq::test::InsideIsolatedNetwork())                                       \
            GTEST_SKIP() << "needs the private network of tests/isolated; run it there"; \
    } while (0)
