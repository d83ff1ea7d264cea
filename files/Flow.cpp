// The memory budget taken in turns, the files being replaced, and the stop, under the run's one lock.
#include "Flow.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>

Flow::Flow(size_t budget) : budget_(budget), free_(budget) {
#ifdef __GLIBC__
    // Blocks of 256 KiB and more straight from the system and back to it when
    // freed. glibc raises this threshold after each large block otherwise,
    // and keeps what is freed below it for the thread that freed it, so that
    // every thread would hold on to its largest page's memory: four threads
    // that did one 20 MB page of short mailto links each held 1.5 GB, where
    // one page at a time takes 0.75 GB.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}

bool Flow::Take(size_t bytes) {
    threads::Held held(lock);
    bytes = std::min(bytes, budget_);
    // In turns, so that a large file is not passed by small ones for ever.
    const unsigned long long mine = nextTurn_++;
    ++waitingForMemory_;
    while (!stop.load() && (turn_ != mine || free_ < bytes)) memory_.Wait(lock);
    --waitingForMemory_;
    if (stop.load()) return false;
    free_ -= bytes;
    ++turn_;
    if (waitingForMemory_) memory_.All();
    return true;
}

void Flow::Give(size_t bytes) {
    if (bytes == 0) return;
    threads::Held held(lock);
    free_ += bytes;
    if (waitingForMemory_) memory_.All();
}

bool Flow::StartReplacing() {
    threads::Held held(lock);
    if (stop.load()) return false;
    ++replacing_;
    return true;
}

void Flow::Finished(walk::Task& task, bool done, bool replacing) {
    threads::Held held(lock);
    task.done = done;
    if (replacing) --replacing_;
    if (&task == awaited_ || (stop.load() && replacing_ == 0)) wake.All();
}

bool Flow::AwaitDone(const walk::Task& task) {
    threads::Held held(lock);
    awaited_ = &task;
    while (!task.done && !stop.load()) wake.Wait(lock);
    awaited_ = nullptr;
    return !stop.load();
}

void Flow::Stop(int signal) {
    threads::Held held(lock);
    if (signal_ == 0) signal_ = signal;
    stop.store(true);
    memory_.All();
    wake.All();
    while (replacing_ != 0) wake.Wait(lock);
}

int Flow::StoppedBy() {
    threads::Held held(lock);
    return signal_;
}
