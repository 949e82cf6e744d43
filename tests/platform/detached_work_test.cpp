// Work nobody waits for: its result, its end call, and an owner that goes first.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/detached_work.h"

using vcq::DetachedWork;
using namespace std::chrono_literals;

namespace {

template <typename Predicate>
bool WaitFor(Predicate done) {
    for (int i = 0; i < 500 && !done(); ++i)
        std::this_thread::sleep_for(2ms);
    return done();
}

TEST(DetachedWork, ResultEndCallAndRunningInThatOrder) {
    struct Case {
        const char* name;
        bool withEnded;
    };
    for (const Case& c : {Case{"with an end call", true}, Case{"without", false}}) {
        SCOPED_TRACE(c.name);
        std::promise<void> go;
        std::shared_future<void> started = go.get_future().share();
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<bool> endedSawResult{false};
        DetachedWork<std::string> work;
        EXPECT_FALSE(work.Started());
        EXPECT_FALSE(work.Running());
        std::function<void(const std::string&)> ended;
        if (c.withEnded)
            ended = [&](const std::string& result) {
                endedSawResult = work.Outcome() == result;
                released.wait();  // the owner must not think the work over yet
            };
        work = DetachedWork<std::string>::Start(
            [started] {
                started.wait();
                return std::string("sysinfo");
            },
            ended);
        EXPECT_TRUE(work.Started());
        EXPECT_TRUE(work.Running());
        EXPECT_FALSE(work.Outcome());
        go.set_value();
        ASSERT_TRUE(WaitFor([&] { return work.Outcome().has_value(); }));
        EXPECT_EQ(*work.Outcome(), "sysinfo");
        if (c.withEnded) {
            std::this_thread::sleep_for(20ms);
            EXPECT_TRUE(work.Running());  // still inside its end call
        }
        release.set_value();
        ASSERT_TRUE(WaitFor([&] { return !work.Running(); }));
        EXPECT_EQ(endedSawResult.load(), c.withEnded);
    }
}

TEST(DetachedWork, OwnerMayGoFirst) {
    auto alive = std::make_shared<int>(7);
    std::weak_ptr<int> held = alive;
    std::promise<void> go;
    std::shared_future<void> started = go.get_future().share();
    {
        auto work = DetachedWork<int>::Start([alive, started] {
            started.wait();
            return *alive;
        });
        alive.reset();
    }  // the owner's handle is gone; the work still holds what it uses
    EXPECT_FALSE(held.expired());
    go.set_value();
    // Once over, the work has let go of what it held.
    EXPECT_TRUE(WaitFor([&] { return held.expired(); }));
}

}  // namespace
