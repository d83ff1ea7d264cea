// Threads, locks and the stop on Ctrl+C, Ctrl+Break or the console's closing, on Windows' slim reader/writer locks and condition variables.
#include "Threads.h"

#include <windows.h>

namespace threads {

namespace {

// Console events go about as their number plus one, since 0 (Ctrl+C's) stands for none;
// standard output closed under the program as a number no event has.
const int kOutputClosed = 0x100;
// The status of a process that Ctrl+C ended, as the default handler leaves it.
const DWORD kControlCExit = 0xC000013A;

}  // namespace

Lock::Lock() { InitializeSRWLock(reinterpret_cast<SRWLOCK*>(&srw_)); }
Lock::~Lock() {}
void Lock::Take() { AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&srw_)); }
void Lock::Leave() { ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&srw_)); }

Wake::Wake() { InitializeConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&condition_)); }
Wake::~Wake() {}
void Wake::Wait(Lock& lock) {
    SleepConditionVariableSRW(reinterpret_cast<CONDITION_VARIABLE*>(&condition_),
                              reinterpret_cast<SRWLOCK*>(&lock.srw_), INFINITE, 0);
}
bool Wake::WaitFor(Lock& lock, unsigned milliseconds) {
    return SleepConditionVariableSRW(reinterpret_cast<CONDITION_VARIABLE*>(&condition_),
                                     reinterpret_cast<SRWLOCK*>(&lock.srw_), milliseconds, 0) ||
           GetLastError() != ERROR_TIMEOUT;
}
void Wake::All() { WakeAllConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&condition_)); }

namespace {

// The thread start routine has the WINAPI calling convention, which a lambda cannot give on 32-bit Windows.
struct Call {
    void (*body)(void*);
    void* context;
};
DWORD WINAPI ThreadStart(void* call) {
    static_cast<Call*>(call)->body(static_cast<Call*>(call)->context);
    return 0;
}

struct Watch {
    void (*onStop)(void*, int);
    void* context;
} watch;

// Runs on a thread the system starts for the event; the process goes on meanwhile.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    const int signal = static_cast<int>(event) + 1;
    watch.onStop(watch.context, signal);
    EndBy(signal);
}

}  // namespace

Group::~Group() { Join(); }

unsigned Group::Start(unsigned count, void (*body)(void*), void* context) {
    call_ = {body, context};
    unsigned started = 0;
    for (; started < count; ++started) {
        HANDLE thread = CreateThread(nullptr, 0, ThreadStart, &call_, 0, nullptr);
        if (!thread) break;
        started_.push_back(thread);
    }
    return started;
}

void Group::Join() {
    for (void* thread : started_) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    started_.clear();
}

void WatchForStop(void (*onStop)(void*, int), void* context) {
    watch = {onStop, context};
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void EndBy(int signal) { ExitProcess(signal == kOutputClosed ? 1 : kControlCExit); }

int OutputClosedSignal() { return kOutputClosed; }

const char* SignalName(int signal) {
    if (signal == kOutputClosed) return "standard output's closing";
    switch (signal - 1) {
        case CTRL_C_EVENT: return "Ctrl+C";
        case CTRL_BREAK_EVENT: return "Ctrl+Break";
        case CTRL_CLOSE_EVENT: return "the console's closing";
        case CTRL_LOGOFF_EVENT: return "the user's logoff";
        case CTRL_SHUTDOWN_EVENT: return "the system's shutdown";
        default: return "a console event";
    }
}

unsigned ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

}  // namespace threads
