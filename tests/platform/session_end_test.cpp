// The headless batch hears log-off and shut-down through a hidden window
// (Windows only; under wine it needs a display).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <windows.h>

#include "platform/system.h"

using namespace vcq;

namespace {

// Log-off and shut-down reach the headless batch's stop through its hidden
// window, which holds the session's end until the log is written.
TEST(WindowsSession, TheSessionsEndStopsTheBatchAndWaitsForItsLog) {
    static std::atomic<int> stops{0};
    sys::CatchInterruptAndStop([] {}, [] { ++stops; });
    HWND window = nullptr;
    for (int i = 0; i < 300 && !window; ++i, Sleep(10))
        window = FindWindowW(L"VcqSessionEnd", nullptr);
    ASSERT_NE(window, nullptr);
    const struct {
        const char* what;
        UINT message;
        WPARAM ending;
        int stops;
        bool waits;
    } rows[] = {
        {"asked whether it may end", WM_QUERYENDSESSION, 0, 0, false},
        {"another program cancelled the end", WM_ENDSESSION, FALSE, 0, false},
        {"the session ends", WM_ENDSESSION, TRUE, 1, true},
    };
    for (const auto& row : rows) {
        // Written once: the event stays set.
        std::thread written;
        if (row.waits)
            written = std::thread([] {
                Sleep(300);
                sys::StopHandled();
            });
        const auto start = std::chrono::steady_clock::now();
        const LRESULT answer = SendMessageW(window, row.message, row.ending, ENDSESSION_LOGOFF);
        const auto took = std::chrono::steady_clock::now() - start;
        if (written.joinable())
            written.join();
        EXPECT_EQ(answer, row.message == WM_QUERYENDSESSION ? TRUE : 0) << row.what;
        EXPECT_EQ(stops.load(), row.stops) << row.what;
        EXPECT_EQ(took >= std::chrono::milliseconds(250), row.waits) << row.what;
    }
}

}  // namespace
