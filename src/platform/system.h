// Small OS services the portable code needs: local time, the console's
// interrupt, thread priority. system_posix.cpp or system_win.cpp.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace vcq::sys {

// The local calendar time of `when`; false when the OS cannot tell.
bool LocalTime(std::time_t when, std::tm& local);

// Calls `handler` (from any thread: it may only set a flag) on Ctrl-C. With
// `once`, a second Ctrl-C ends the process the usual way. POSIX signals, or
// SetConsoleCtrlHandler on Windows.
void CatchInterrupt(void (*handler)(), bool once);

// The same for every polite request to stop: Ctrl-C, SIGTERM, Ctrl-Break or
// the console closing.
void CatchStop(void (*handler)());

// The headless batch's signals. `interrupt` hears every Ctrl-C; `stop`
// every request to end now: SIGTERM and SIGHUP, or on Windows Ctrl-Break,
// the console closing, and log-off and shut-down (WM_ENDSESSION to a hidden
// window: a console program that loads user32 gets no console event for
// them). Both are called from a signal
// handler or the console's own thread and may only set flags; the program
// ends by itself. Windows ends a process whose console closes once the
// handler returns, so that handler waits for StopHandled(), a few seconds
// at most.
void CatchInterruptAndStop(void (*interrupt)(), void (*stop)());
// The program has written what it must before it ends.
void StopHandled();

// While on, the system does not sleep: a laptop asleep mid-upload or
// mid-restore leaves a camera half done. On Windows the request belongs to
// the calling thread: call it from one that outlives the work (the main or
// UI thread). Nothing here.
void KeepSystemAwake(bool on);
struct StayAwake {
    StayAwake() { KeepSystemAwake(true); }
    ~StayAwake() { KeepSystemAwake(false); }
    StayAwake(const StayAwake&) = delete;
    StayAwake& operator=(const StayAwake&) = delete;
};

// While cameras are in service the wizard's window asks Windows to hold a
// shut-down or log-off, naming why (ShutdownBlockReasonCreate; `window` is
// the native window's handle). Nothing here.
void HoldSessionEnd(std::uintptr_t window, const std::string& reason);
void ReleaseSessionEnd(std::uintptr_t window);

// Puts the calling thread above normal priority where the OS lets us; false
// where it did not (nothing breaks then).
bool RaiseThisThreadPriority();

// The program's command line as UTF-8 words, its own name first: argv here;
// on Windows the wide command line, whatever the ANSI code page.
std::vector<std::string> CommandLineWords(int argc, char** argv);

// Standard output and error take UTF-8 bytes as they are: on Windows no CR
// is added before a LF (lines that end in CR LF keep one CR), and a console
// shows them as UTF-8. Nothing to do here.
void UseUtf8Output();

}  // namespace vcq::sys
