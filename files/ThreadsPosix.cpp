// Threads, locks and the stop on a terminating signal, on POSIX threads.
#include "Threads.h"

#include <errno.h>
#include <sched.h>
#include <signal.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace threads {

Lock::Lock() { pthread_mutex_init(&mutex_, nullptr); }
Lock::~Lock() { pthread_mutex_destroy(&mutex_); }
void Lock::Take() { pthread_mutex_lock(&mutex_); }
void Lock::Leave() { pthread_mutex_unlock(&mutex_); }

Wake::Wake() {
    // The monotonic clock, so that a change of the time of day cannot stretch a timed wait.
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&condition_, &attributes);
    pthread_condattr_destroy(&attributes);
}
Wake::~Wake() { pthread_cond_destroy(&condition_); }
void Wake::Wait(Lock& lock) { pthread_cond_wait(&condition_, &lock.mutex_); }
void Wake::All() { pthread_cond_broadcast(&condition_); }

bool Wake::WaitFor(Lock& lock, unsigned milliseconds) {
    timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += milliseconds / 1000;
    until.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) until.tv_sec += 1, until.tv_nsec -= 1000000000L;
    return pthread_cond_timedwait(&condition_, &lock.mutex_, &until) != ETIMEDOUT;
}

Group::~Group() { Join(); }

unsigned Group::Start(unsigned count, void (*body)(void*), void* context) {
    call_ = {body, context};
    auto start = [](void* call) -> void* {
        static_cast<Call*>(call)->body(static_cast<Call*>(call)->context);
        return nullptr;
    };
    unsigned started = 0;
    for (; started < count; ++started) {
        pthread_t thread;
        if (pthread_create(&thread, nullptr, start, &call_) != 0) break;
        started_.push_back(reinterpret_cast<void*>(thread));
    }
    return started;
}

void Group::Join() {
    for (void* thread : started_) pthread_join(reinterpret_cast<pthread_t>(thread), nullptr);
    started_.clear();
}

namespace {

const int kTerminating[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

struct Watch {
    sigset_t set;
    void (*onStop)(void*, int);
    void* context;
} watch;

void* WatchSignals(void*) {
    int signal = 0;
    if (sigwait(&watch.set, &signal) != 0) return nullptr;
    watch.onStop(watch.context, signal);
    EndBy(signal);
}

}  // namespace

void WatchForStop(void (*onStop)(void*, int), void* context) {
    watch.onStop = onStop;
    watch.context = context;
    sigemptyset(&watch.set);
    // A signal ignored at the start (nohup's SIGHUP, SIGINT of a background
    // job) stays ignored, as it would without the watch.
    for (int s : kTerminating) {
        struct sigaction action;
        if (sigaction(s, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) sigaddset(&watch.set, s);
    }
    // Held in this thread and so in every thread started from here on; the
    // watching thread takes them with sigwait.
    pthread_sigmask(SIG_BLOCK, &watch.set, nullptr);
    signal(SIGPIPE, SIG_IGN);
    pthread_t thread;
    if (pthread_create(&thread, nullptr, WatchSignals, nullptr) == 0) {
        pthread_detach(thread);
    } else {
        // Without the watch the signals end the process at once, as they would anyway.
        pthread_sigmask(SIG_UNBLOCK, &watch.set, nullptr);
    }
}

void EndBy(int signal) {
    ::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

int OutputClosedSignal() { return SIGPIPE; }

const char* SignalName(int signal) {
    switch (signal) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        case SIGQUIT: return "SIGQUIT";
        case SIGPIPE: return "SIGPIPE";
        default: return "a signal";
    }
}

unsigned ProcessorCount() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<unsigned>(CPU_COUNT(&set));
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<unsigned>(n) : 1;
}

}  // namespace threads
