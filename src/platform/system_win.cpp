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

bool RaiseThreadPriority(std::thread& thread) {
    HANDLE handle = pthread_gethandle(thread.native_handle());
    return handle != nullptr && SetThreadPriority(handle, THREAD_PRIORITY_ABOVE_NORMAL) != 0;
}

}  // namespace vcq::sys
