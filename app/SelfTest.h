// The integrity self-test: reads a program file by its wide-character path and checks its image checksum.
#ifndef QUORVANE_SELFTEST_H
#define QUORVANE_SELFTEST_H

#include <windows.h>

enum FileCheck { kFileIntact, kFileDamaged, kFileUnreadable };

// Reads the whole file at `path` (a full path of any length, or a short
// relative one) and checks its image checksum. Only a file that was read can
// be kFileDamaged; one that cannot be opened or read is kFileUnreadable,
// with the system's error code in *error.
FileCheck CheckProgramFile(const wchar_t* path, DWORD* error);

// The same for the running program's own file.
FileCheck CheckOwnFile(DWORD* error);

#endif
