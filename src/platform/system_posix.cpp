#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <atomic>

#include "platform/system.h"

namespace vcq::sys {
namespace {

std::atomic<void (*)()> g_handler{nullptr};
std::atomic<void (*)()> g_stopHandler{nullptr};

void OnSignal(int) {
    if (auto handler = g_handler.load())
        handler();
}

void OnStopSignal(int) {
    if (auto handler = g_stopHandler.load())
        handler();
}

void Catch(int signal, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

}  // namespace

bool LocalTime(std::time_t when, std::tm& local) {
    return localtime_r(&when, &local) != nullptr;
}

void CatchInterrupt(void (*handler)(), bool once) {
    g_handler = handler;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    action.sa_flags = once ? SA_RESETHAND : 0;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

void CatchStop(void (*handler)()) {
    CatchInterrupt(handler, false);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
}

void CatchInterruptAndStop(void (*interrupt)(), void (*stop)()) {
    g_handler = interrupt;
    g_stopHandler = stop;
    Catch(SIGINT, OnSignal);
    Catch(SIGTERM, OnStopSignal);
    Catch(SIGHUP, OnStopSignal);
}

void StopHandled() {}

void KeepSystemAwake(bool) {}
void HoldSessionEnd(std::uintptr_t, const std::string&) {}
void ReleaseSessionEnd(std::uintptr_t) {}

bool RaiseThisThreadPriority() {
    sched_param param{};
    int policy = 0;
    if (pthread_getschedparam(pthread_self(), &policy, &param) != 0 || policy == SCHED_OTHER)
        return false;  // the default policy has no priorities to raise
    param.sched_priority = std::min(param.sched_priority + 1, sched_get_priority_max(policy));
    return pthread_setschedparam(pthread_self(), policy, &param) == 0;
}

std::vector<std::string> CommandLineWords(int argc, char** argv) {
    std::vector<std::string> words(argv, argv + argc);
    if (words.empty())
        words.emplace_back();  // the program's name, which callers skip
    return words;
}

void UseUtf8Output() {}

}  // namespace vcq::sys
