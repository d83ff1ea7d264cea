// Lowers the process priority and trims working sets.
#include "XProcess.h"

bool LowerProcessPriority() {
    HANDLE process = OpenProcess(PROCESS_SET_INFORMATION, FALSE, GetCurrentProcessId());
    if (process == nullptr) {
        return false;
    }
    bool lowered = SetPriorityClass(process, IDLE_PRIORITY_CLASS) &&
                   SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
    CloseHandle(process);
    return lowered;
}

int TrimWorkingSet(DWORD processId) {
    // Looked up at run time rather than imported, so that the program still
    // loads on a system whose kernel32 lacks the entry point.
    typedef BOOL(WINAPI * SetWorkingSetSizeFn)(HANDLE, SIZE_T, SIZE_T);
    HMODULE kernel = GetModuleHandleA("Kernel32.dll");
    if (kernel == nullptr) {
        return TRIM_NO_KERNEL32;
    }
    SetWorkingSetSizeFn setWorkingSetSize =
        reinterpret_cast<SetWorkingSetSizeFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessWorkingSetSize")));
    if (setWorkingSetSize == nullptr) {
        return TRIM_NO_ENTRY_POINT;
    }
    HANDLE process = OpenProcess(PROCESS_SET_QUOTA, FALSE, processId);
    if (process == nullptr) {
        return TRIM_OPEN_FAILED;
    }
    // Both bounds at (SIZE_T)-1 mean: take out as many pages as possible.
    BOOL trimmed = setWorkingSetSize(process, static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
    CloseHandle(process);
    return trimmed ? TRIM_DONE : TRIM_CALL_FAILED;
}

int TrimWorkingSet() {
    return TrimWorkingSet(GetCurrentProcessId());
}
