// The file steps' system calls on Windows: wide-character paths with the \\?\ prefix, each folder and file told by its file ID, reparse points never followed inside a folder.
#include <windows.h>
#include <ntsecapi.h>
#include <shellapi.h>
#include <string.h>

#include <algorithm>

#include "System.h"

namespace files {

const Handle kNoHandle = nullptr;
const char kShownSeparator = '\\';

namespace sys {

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// UTF-16 to UTF-8; a surrogate without its pair, which Windows names may
// hold, comes out as the three bytes of its code unit, which are not UTF-8,
// so that the name is printed quoted and not with a stand-in character.
std::string Utf8(const wchar_t* text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        unsigned long c = static_cast<unsigned short>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned short>(text[++i]) - 0xDC00);
        }
        const int trail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        static const unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
        out += static_cast<char>(kLead[trail] | (c >> (6 * trail)));
        for (int k = trail - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
    }
    return out;
}

std::string ErrorOf(const char* what, DWORD code) {
    wchar_t* message = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    while (length > 0 && (message[length - 1] == L'\r' || message[length - 1] == L'\n' || message[length - 1] == L'.'))
        --length;
    std::string text = std::string(what) + ": " + (length ? Utf8(message, length) : "error " + std::to_string(code));
    LocalFree(message);
    return text;
}

bool Gone(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

Path In(const OpenFolder& folder, const Path& name) { return folder.path + L'\\' + name; }

// The absolute form with the \\?\ prefix, which turns off the 260-character
// limit and every other rewriting of the name; "." and ".." and forward
// slashes are resolved first, since the prefixed form takes names as they are.
bool LongPath(const std::wstring& given, std::wstring& path, std::string& error) {
    if (given.compare(0, 4, L"\\\\?\\") == 0) {
        path = given;
        return true;
    }
    DWORD n = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    std::wstring full(n, L'\0');
    if (n == 0 || (n = GetFullPathNameW(given.c_str(), n, &full[0], nullptr)) == 0 || n >= full.size()) {
        error = Error("not a usable path");
        return false;
    }
    full.resize(n);
    if (full.compare(0, 2, L"\\\\") == 0) path = L"\\\\?\\UNC\\" + full.substr(2);
    else path = L"\\\\?\\" + full;
    return true;
}

Kind KindOf(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Kind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Kind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return Kind::Other;
    return Kind::File;
}

// Opened for its attributes only, never for reading: a pipe's or a device's open does not wait.
HANDLE OpenToLook(const Path& path, bool followLink, DWORD access = FILE_READ_ATTRIBUTES) {
    return CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

// INVALID_HANDLE_VALUE is kept as none, with the error of the open left for Error().
Result Kept(HANDLE h, Handle& handle) {
    handle = h == INVALID_HANDLE_VALUE ? kNoHandle : h;
    if (h != INVALID_HANDLE_VALUE) return Result::Ok;
    return Gone(GetLastError()) ? Result::Gone : Result::Failed;
}

// An entry of a folder's listing, with its file ID; "." and ".." left out.
void AddEntry(const Path& folder, unsigned long long volume, const FILE_ID_BOTH_DIR_INFO& e, std::vector<Entry>& entries) {
    const std::wstring name(e.FileName, e.FileNameLength / sizeof(wchar_t));
    if (name == L"." || name == L"..") return;
    Look look;
    look.kind = KindOf(e.FileAttributes);
    look.id = {volume, static_cast<unsigned long long>(e.FileId.QuadPart)};
    look.other = "a device";
    // File systems without file IDs in their listings (FAT) give 0: the entry itself tells.
    if (e.FileId.QuadPart != 0 || look.kind == Kind::Link || LookAtPath(folder + L'\\' + name, false, look)) {
        entries.push_back({name, Utf8(name.data(), name.size()), look});
    }
}

}  // namespace

std::string Error(const char* what) { return ErrorOf(what, GetLastError()); }

Result OpenFolderAt(const OpenFolder* parent, const Path& name, OpenFolder& folder) {
    folder.path = parent ? In(*parent, name) : name;
    return Kept(OpenToLook(folder.path, !parent, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE), folder.handle);
}

bool LookAtHandle(Handle handle, Look& look, Stamp* stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return false;
    const DWORD type = GetFileType(handle);
    look.kind = type == FILE_TYPE_DISK ? KindOf(info.dwFileAttributes) : Kind::Other;
    look.id = {info.dwVolumeSerialNumber, (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    look.other = type == FILE_TYPE_PIPE ? "a pipe" : "a device";
    if (!stamp) return true;
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return false;
    stamp->id = look.id;
    stamp->size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp->modified = basic.LastWriteTime.QuadPart;
    stamp->changed = basic.ChangeTime.QuadPart;
    stamp->links = info.nNumberOfLinks;
    return true;
}

Result LookAtName(const OpenFolder& folder, const Path& name, bool followLink, Look& look, Stamp* stamp) {
    Handle handle;
    const Result opened = Kept(OpenToLook(In(folder, name), followLink), handle);
    if (opened != Result::Ok) return opened;
    const bool looked = LookAtHandle(handle, look, stamp);
    const DWORD code = GetLastError();
    Close(handle);
    SetLastError(code);
    return looked ? Result::Ok : Result::Failed;
}

bool LookAtPath(const Path& path, bool followLink, Look& look) {
    Handle handle;
    if (Kept(OpenToLook(path, followLink), handle) != Result::Ok) return false;
    const bool looked = LookAtHandle(handle, look, nullptr);
    const DWORD code = GetLastError();
    Close(handle);
    SetLastError(code);
    return looked;
}

bool ListFolder(const OpenFolder& folder, const Identity& id, std::vector<Entry>& entries, std::string& error) {
    // The listing with each entry's file ID, from the open folder.
    alignas(8) char buffer[64 * 1024];
    for (FILE_INFO_BY_HANDLE_CLASS step = FileIdBothDirectoryRestartInfo;; step = FileIdBothDirectoryInfo) {
        if (!GetFileInformationByHandleEx(folder.handle, step, buffer, sizeof buffer)) {
            if (GetLastError() == ERROR_NO_MORE_FILES) return true;
            error = Error("cannot read the folder");
            return false;
        }
        for (const char* at = buffer;;) {
            const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            AddEntry(folder.path, id.volume, *e, entries);
            if (e->NextEntryOffset == 0) break;
            at += e->NextEntryOffset;
        }
    }
}

// Shared for writing and deleting too, so that no one else's work is held
// up; a change meanwhile is found before the file is replaced.
Result OpenForReading(const OpenFolder& folder, const Path& name, bool followLink, Handle& handle) {
    return Kept(CreateFileW(In(folder, name).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr),
                handle);
}

bool OpenPathForReading(const Path& path, Handle& handle) {
    return Kept(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr), handle) ==
           Result::Ok;
}

bool ReadSome(Handle handle, char* into, size_t size, size_t& got) {
    DWORD n = 0;
    const bool ok = ReadFile(handle, into, static_cast<DWORD>(std::min<size_t>(size, 1u << 23)), &n, nullptr) != 0;
    got = n;
    return ok;
}

bool Rewind(Handle handle) {
    LARGE_INTEGER start = {};
    return SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) != 0;
}

void Close(Handle& handle) {
    if (handle) CloseHandle(handle);
    handle = kNoHandle;
}

// Not shared while it is written: the next run over the folder tells a
// killed run's file, which no one has open, from this one.
Result CreateHeld(const OpenFolder& folder, const Path& name, Handle& handle) {
    const Result created = Kept(CreateFileW(In(folder, name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_TEMPORARY, nullptr), handle);
    return created == Result::Ok || GetLastError() != ERROR_FILE_EXISTS ? created : Result::Taken;
}

bool KeepMetadata(Handle, const Stamp&, Handle, std::string&) { return true; }

// The held file was made temporary, which keeps it in the cache; a file of
// the tool's own keeps the folder's inherited security and is a normal file.
bool MakeOrdinary(Handle handle, std::string& error) {
    FILE_BASIC_INFO basic = {};  // times of 0 stay as they are
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic)) return true;
    error = Error("cannot make the new file a normal file");
    return false;
}

bool WriteSome(Handle handle, const char* bytes, size_t size, size_t& wrote) {
    DWORD n = 0;
    const bool ok = WriteFile(handle, bytes, static_cast<DWORD>(std::min<size_t>(size, 1u << 23)), &n, nullptr) != 0;
    wrote = n;
    return ok;
}

bool FlushToDisk(Handle handle) { return FlushFileBuffers(handle) != 0; }

// ReplaceFileW opens both files itself, with sharing of its own, so both are
// closed first; it keeps the original's attributes, security descriptor and
// creation time, which a plain rename would lose.
bool PutInPlace(const OpenFolder& folder, const Path& temporary, Handle& held, const Path& name, Handle& replaced,
                std::string& error) {
    const bool closed = CloseHandle(held) != 0;
    held = kNoHandle;
    if (!closed) {
        error = Error("cannot write the new file");
        DeleteFileW(In(folder, temporary).c_str());
        return false;
    }
    Close(replaced);
    if (!ReplaceFileW(In(folder, name).c_str(), In(folder, temporary).c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                      nullptr, nullptr)) {
        error = Error("cannot put the new file in its place");
        DeleteFileW(In(folder, temporary).c_str());
        return false;
    }
    return true;
}

// Closed first, as the file is open unshared; a move without
// MOVEFILE_REPLACE_EXISTING fails where a file stands.
Result PutNew(const OpenFolder& folder, const Path& temporary, Handle& held, const Path& name, std::string& error) {
    const bool closed = CloseHandle(held) != 0;
    held = kNoHandle;
    if (closed && MoveFileExW(In(folder, temporary).c_str(), In(folder, name).c_str(), MOVEFILE_WRITE_THROUGH)) {
        return Result::Ok;
    }
    const DWORD code = GetLastError();
    error = ErrorOf(closed ? "cannot give the new file its name" : "cannot write the new file", code);
    DeleteFileW(In(folder, temporary).c_str());
    return closed && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) ? Result::Taken : Result::Failed;
}

void Discard(const OpenFolder& folder, const Path& temporary, Handle& held) {
    Close(held);
    DeleteFileW(In(folder, temporary).c_str());
}

// Opened unshared: a running writer's file, open without sharing, refuses.
Result HoldAlone(const OpenFolder& folder, const Path& name, Handle& handle, std::string& error) {
    const Result held = Kept(CreateFileW(In(folder, name).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr), handle);
    if (held == Result::Ok) return held;
    const DWORD code = GetLastError();
    if (code == ERROR_SHARING_VIOLATION) return Result::Taken;
    error = ErrorOf("cannot remove it", code);
    return Result::Failed;
}

// Marked for deletion on the handle held, so that it is the file held that goes, when the handle closes.
bool RemoveHeld(const OpenFolder&, const Path&, Handle& handle, std::string& error) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    const bool removed = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
    if (!removed) error = Error("cannot remove it");
    Close(handle);
    return removed;
}

unsigned long long ProcessId() { return GetCurrentProcessId(); }

unsigned long long Clock() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<unsigned long long>(now.QuadPart);
}

}  // namespace sys

// RtlGenRandom, from advapi32 (BCryptGenRandom would add bcrypt.dll to the program's imports).
bool RandomBytes(char* into, size_t size, std::string& error) {
    for (; size > 0;) {
        const ULONG step = static_cast<ULONG>(std::min<size_t>(size, 1u << 20));
        if (!RtlGenRandom(into, step)) return error = sys::Error("cannot read the system's random source"), false;
        into += step, size -= step;
    }
    return true;
}

bool ArgumentPaths(int argc, char**, int first, std::vector<Named>& named, std::string& error) {
    // The C runtime's argv holds the arguments in the ANSI code page, which
    // cannot name every file; the wide command line can.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    bool ok = wide && count == argc;
    if (!ok) error = "cannot read the command line as wide characters";
    for (int i = first; ok && i < argc; ++i) {
        Named one;
        one.shown = sys::Utf8(wide[i], wcslen(wide[i]));
        sys::LongPath(wide[i], one.native, one.error);
        named.push_back(one);
    }
    LocalFree(wide);
    return ok;
}

void SplitPath(const Path& path, Path& folder, Path& name) {
    const size_t slash = path.rfind(L'\\');
    folder = path.substr(0, slash);
    name = path.substr(slash + 1);
}

}  // namespace files
