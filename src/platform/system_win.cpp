#include <windows.h>
// winpthreads' handle of a std::thread: its own priority calls are no-ops.
#include <pthread.h>

#include <atomic>
#include <ctime>

#include "platform/system.h"

namespace vcq::sys {
namespace {

std::atomic<void (*)()> g_handler{nullptr};
std::atomic<bool> g_once{false};
std::atomic<bool> g_caught{false};
std::atomic<bool> g_everyStop{false};
std::atomic<void (*)()> g_interrupt{nullptr};
std::atomic<void (*)()> g_stop{nullptr};
HANDLE g_stopHandled = nullptr;

// The headless batch: Ctrl-C asks, everything else ends it now.
BOOL WINAPI OnBatchConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT) {
        if (auto interrupt = g_interrupt.load())
            interrupt();
        return TRUE;
    }
    auto stop = g_stop.load();
    if (!stop)
        return FALSE;
    stop();
    // Closing the console, log-off and shut-down end the process once this
    // returns: let the log and the failed list be written first.
    if (event != CTRL_BREAK_EVENT && g_stopHandled)
        WaitForSingleObject(g_stopHandled, 4500);
    return TRUE;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    auto handler = g_handler.load();
    if (!handler)
        return FALSE;
    if (event != CTRL_C_EVENT && !g_everyStop)
        return FALSE;
    if (event == CTRL_C_EVENT && g_once && g_caught.exchange(true))
        return FALSE;  // the second Ctrl-C: the default handler ends the process
    handler();
    // A closing console ends the process once this returns: give the main
    // thread a moment to stop cleanly.
    if (event == CTRL_CLOSE_EVENT)
        Sleep(2000);
    return TRUE;
}

}  // namespace

bool LocalTime(std::time_t when, std::tm& local) {
    return localtime_s(&local, &when) == 0;
}

void CatchInterrupt(void (*handler)(), bool once) {
    g_handler = handler;
    g_once = once;
    g_caught = false;
    static const bool installed = SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
    (void)installed;
}

void CatchStop(void (*handler)()) {
    g_everyStop = true;
    CatchInterrupt(handler, false);
}

void CatchInterruptAndStop(void (*interrupt)(), void (*stop)()) {
    g_interrupt = interrupt;
    g_stop = stop;
    if (!g_stopHandled)
        g_stopHandled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    static const bool installed = SetConsoleCtrlHandler(OnBatchConsoleEvent, TRUE) != 0;
    (void)installed;
}

void StopHandled() {
    if (g_stopHandled)
        SetEvent(g_stopHandled);
}

bool RaiseThreadPriority(std::thread& thread) {
    HANDLE handle = pthread_gethandle(thread.native_handle());
    return handle != nullptr && SetThreadPriority(handle, THREAD_PRIORITY_ABOVE_NORMAL) != 0;
}

}  // namespace vcq::sys
