// Threads for the site commands, the lock they share, and the stop that a terminating signal (POSIX) or Ctrl+C (Windows) asks for.
#ifndef QUORVANE_FILES_THREADS_H
#define QUORVANE_FILES_THREADS_H

#include <vector>

#ifndef _WIN32
#include <pthread.h>
#endif

namespace threads {

class Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void Take();
    void Leave();

private:
    friend class Wake;
#ifdef _WIN32
    void* srw_ = nullptr;  // an SRWLOCK, which is one pointer, all zero when free
#else
    pthread_mutex_t mutex_;
#endif
};

class Held {
public:
    explicit Held(Lock& lock) : lock_(lock) { lock_.Take(); }
    ~Held() { lock_.Leave(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    Lock& lock_;
};

// Threads waiting, under a Lock, for what another thread changes.
class Wake {
public:
    Wake();
    ~Wake();
    Wake(const Wake&) = delete;
    Wake& operator=(const Wake&) = delete;
    void Wait(Lock& lock);
    // False when `milliseconds` passed first.
    bool WaitFor(Lock& lock, unsigned milliseconds);
    void All();

private:
#ifdef _WIN32
    void* condition_ = nullptr;  // a CONDITION_VARIABLE, likewise one pointer
#else
    pthread_cond_t condition_;
#endif
};

// Threads that run body(context); Join waits for them all.
class Group {
public:
    ~Group();
    // Starts up to `count`; returns how many the system gave.
    unsigned Start(unsigned count, void (*body)(void*), void* context);
    void Join();

private:
    struct Call {
        void (*body)(void*);
        void* context;
    } call_{nullptr, nullptr};
    std::vector<void*> started_;
};

// From here on a terminating signal (POSIX: SIGINT, SIGTERM, SIGHUP and
// SIGQUIT, those not ignored when the program started; Windows: Ctrl+C,
// Ctrl+Break, closing the console) calls onStop(context, signal) on a thread
// of its own instead of ending the process at once, and the process ends by
// that signal when onStop returns. Signals go about as numbers other than
// 0. Writing to a closed pipe fails with an error instead of ending the
// process.
void WatchForStop(void (*onStop)(void*, int), void* context);

// Ends the process as `signal` does when nothing catches it, so that the
// shell sees the usual status (128 + signal; on Windows the status of Ctrl+C).
[[noreturn]] void EndBy(int signal);

// The signal that stands for standard output closed under the program.
int OutputClosedSignal();

// The signal's name for the summary line: "SIGTERM", "Ctrl+C", ...
const char* SignalName(int signal);

unsigned ProcessorCount();

}  // namespace threads

#endif
