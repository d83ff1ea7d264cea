// What the threads of a site command share: the lock, the stop, the memory budget of the files in hand, and the count of files being replaced.
#ifndef QUORVANE_FILES_FLOW_H
#define QUORVANE_FILES_FLOW_H

#include <stddef.h>

#include <atomic>

#include "Threads.h"
#include "Walk.h"

class Flow {
public:
    explicit Flow(size_t budget);

    // Takes `bytes` of the budget (the whole budget when more), in the order
    // asked, waiting while the files in hand hold too much; false when the run stops first.
    bool Take(size_t bytes);
    void Give(size_t bytes);
    size_t Budget() const { return budget_; }

    // Before a file is replaced: false when the run stops, and the file stays as it is.
    bool StartReplacing();
    // The work on the task is over: `done` when its report is complete (not
    // when the run stopped first, and it is not printed), `replacing` when
    // StartReplacing was true for it.
    void Finished(walk::Task& task, bool done, bool replacing);
    // Waits until the task is done; false when the run stops first.
    bool AwaitDone(const walk::Task& task);

    // Stops the run for `signal` (the first one counts; 0 adds none): no file
    // is taken or replaced from now on. Waits until the files being replaced
    // are whole.
    void Stop(int signal);
    int StoppedBy();

    std::atomic<bool> stop{false};
    threads::Lock lock;
    // Wakes the printing thread and those waiting for a stop's end. Every
    // wake-up goes to whoever waits for it only, so that a file's end does
    // not wake every thread.
    threads::Wake wake;

private:
    threads::Wake memory_;
    size_t waitingForMemory_ = 0;
    const walk::Task* awaited_ = nullptr;
    size_t budget_;
    size_t free_;
    unsigned long long nextTurn_ = 0;
    unsigned long long turn_ = 0;
    size_t replacing_ = 0;
    int signal_ = 0;
};

#endif
