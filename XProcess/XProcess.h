// Process tuning: idle priority and working-set trimming.
#ifndef QUORVANE_XPROCESS_H
#define QUORVANE_XPROCESS_H

#include <windows.h>

// Puts the own process into the idle priority class and the calling thread
// at the lowest thread priority. True when both were set.
bool LowerProcessPriority();

// Result codes of TrimWorkingSet.
enum TrimResult {
    TRIM_DONE = 1,
    TRIM_NO_KERNEL32 = -1,
    TRIM_NO_ENTRY_POINT = -2,
    TRIM_OPEN_FAILED = -3,
    TRIM_CALL_FAILED = -4
};

// Asks the system to remove as many pages as it can from a process's working set.
int TrimWorkingSet(DWORD processId);

// The same for the own process.
int TrimWorkingSet();

#endif
