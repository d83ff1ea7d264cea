// Reads the program's own file through the wide-character API, whatever folder it lies in, and checks it.
#include "SelfTest.h"

#include "ByteString.h"
#include "ImageChecksum.h"

namespace {

// The longest path the system handles, in characters.
const DWORD kLongestPath = 32767;

// Room for `count` wide characters, from the same allocator as the image.
wchar_t* WideChars(ByteString& buffer, size_t count) {
    buffer = ByteString(count * sizeof(wchar_t));
    return reinterpret_cast<wchar_t*>(buffer.data());
}

// CreateFileW takes a path of MAX_PATH characters or more only in its raw
// form, which passes a full path on as it stands: C:\dir becomes \\?\C:\dir
// and the network path \\server\share becomes \\?\UNC\server\share. Null
// when there is no memory for it.
const wchar_t* LongForm(const wchar_t* path, ByteString& buffer) {
    size_t length = lstrlenW(path);
    if (length < MAX_PATH) {
        return path;
    }
    bool drive = path[1] == L':' && path[2] == L'\\';
    bool network = path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.';
    if (!drive && !network) {
        return path;  // already raw, or relative: tried as it is
    }
    const wchar_t* prefix = drive ? L"\\\\?\\" : L"\\\\?\\UNC";
    size_t prefixLength = drive ? 4 : 7;
    wchar_t* longForm = WideChars(buffer, prefixLength + length + 1);
    if (longForm == nullptr) {
        return nullptr;
    }
    lstrcpyW(longForm, prefix);
    lstrcpyW(longForm + prefixLength, drive ? path : path + 1);  // UNC keeps one of the two backslashes
    return longForm;
}

FileCheck ReadAndCheck(HANDLE file, DWORD* error) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        *error = GetLastError();
        return kFileUnreadable;
    }
    // No program file reaches 4 GiB; such a one could not be read into memory either.
    ByteString image(size.HighPart == 0 ? size.LowPart : static_cast<size_t>(-1));
    if (image.Failed()) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return kFileUnreadable;
    }
    DWORD read = 0;
    if (!ReadFile(file, image.data(), size.LowPart, &read, nullptr)) {
        *error = GetLastError();
        return kFileUnreadable;
    }
    // A file that shrank while being read is checked as far as it goes.
    return ImageChecksumMatches(reinterpret_cast<const unsigned char*>(image.data()), read) ? kFileIntact
                                                                                            : kFileDamaged;
}

}  // namespace

FileCheck CheckProgramFile(const wchar_t* path, DWORD* error) {
    ByteString buffer;
    const wchar_t* openable = LongForm(path, buffer);
    if (openable == nullptr) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return kFileUnreadable;
    }
    // The sharing of the loader itself: others may read, rename or delete the file meanwhile, not write it.
    HANDLE file = CreateFileW(openable, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return kFileUnreadable;
    }
    FileCheck result = ReadAndCheck(file, error);
    CloseHandle(file);
    return result;
}

FileCheck CheckOwnFile(DWORD* error) {
    // A path that fills the buffer may have been cut short (older systems
    // say nothing more), so the buffer grows until a path fits with room to spare.
    ByteString buffer;
    for (DWORD capacity = MAX_PATH; capacity <= 2 * kLongestPath; capacity *= 2) {
        wchar_t* path = WideChars(buffer, capacity);
        if (path == nullptr) {
            *error = ERROR_NOT_ENOUGH_MEMORY;
            return kFileUnreadable;
        }
        DWORD length = GetModuleFileNameW(nullptr, path, capacity);
        if (length == 0) {
            *error = GetLastError();
            return kFileUnreadable;
        }
        if (length < capacity) {
            return CheckProgramFile(path, error);
        }
    }
    *error = ERROR_FILENAME_EXCED_RANGE;
    return kFileUnreadable;
}
