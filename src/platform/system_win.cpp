#include <windows.h>
// After windows.h, which they need.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "platform/system.h"
#include "platform/text_win.h"

namespace vcq::sys {
namespace {

std::atomic<void (*)()> g_handler{nullptr};
std::atomic<bool> g_once{false};
std::atomic<bool> g_caught{false};
std::atomic<bool> g_everyStop{false};
std::atomic<void (*)()> g_interrupt{nullptr};
std::atomic<void (*)()> g_stop{nullptr};
HANDLE g_stopHandled = nullptr;
constexpr wchar_t kSessionWindowClass[] = L"VcqSessionEnd";

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

// Log-off and shut-down: the same as a console's end, as soon as the
// session ends for sure.
LRESULT CALLBACK OnSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYENDSESSION)
        return TRUE;
    if (message == WM_ENDSESSION) {
        auto stop = g_stop.load();
        if (wParam && stop) {
            stop();
            if (g_stopHandled)
                WaitForSingleObject(g_stopHandled, 4500);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A hidden top-level window on a thread of its own: only top-level windows
// are asked before the session ends.
void WatchSessionEnd() {
    std::thread([] {
        WNDCLASSW kind{};
        kind.lpfnWndProc = OnSessionMessage;
        kind.hInstance = GetModuleHandleW(nullptr);
        kind.lpszClassName = kSessionWindowClass;
        if (!RegisterClassW(&kind))
            return;
        if (!CreateWindowExW(0, kSessionWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                             nullptr, kind.hInstance, nullptr))
            return;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
    }).detach();
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
    static const bool watching = (WatchSessionEnd(), true);
    (void)watching;
}

void KeepSystemAwake(bool on) {
    SetThreadExecutionState(on ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

void HoldSessionEnd(std::uintptr_t window, const std::string& reason) {
    ShutdownBlockReasonCreate(reinterpret_cast<HWND>(window), text::Utf8ToWide(reason).c_str());
}

void ReleaseSessionEnd(std::uintptr_t window) {
    ShutdownBlockReasonDestroy(reinterpret_cast<HWND>(window));
}

void StopHandled() {
    if (g_stopHandled)
        SetEvent(g_stopHandled);
}

bool RaiseThisThreadPriority() {
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL) != 0;
}

std::vector<std::string> CommandLineWords(int argc, char** argv) {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    if (words) {
        for (int i = 0; i < count; ++i)
            out.push_back(text::WideToUtf8(words[i]));
        LocalFree(words);
    } else {
        out.assign(argv, argv + argc);
    }
    if (out.empty())
        out.emplace_back();  // the program's name, which callers skip
    return out;
}

namespace {
UINT g_consoleCodePage = 0;
void RestoreConsoleCodePage() {
    SetConsoleOutputCP(g_consoleCodePage);
}
}  // namespace

void UseUtf8Output() {
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // Only a console reads the code page; give the window its own back.
    g_consoleCodePage = GetConsoleOutputCP();
    if (g_consoleCodePage != 0 && g_consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        std::atexit(RestoreConsoleCodePage);
}

}  // namespace vcq::sys
