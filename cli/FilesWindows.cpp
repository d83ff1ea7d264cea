// The site commands' file access on Windows: wide-character paths with the \\?\ prefix, so any name and any length.
#include "Files.h"

#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <algorithm>

namespace files {

const char kShownSeparator = '\\';

namespace {

std::string Utf8(const wchar_t* text, size_t length) {
    if (length == 0) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Wide(std::string_view text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string SystemError(const char* what, DWORD code = GetLastError()) {
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
        error = SystemError("not a usable path");
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

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30)), written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool ArgumentPaths(int argc, char**, int first, std::vector<Named>& named, std::string& error) {
    // The C runtime's argv holds the arguments in the ANSI code page, which
    // cannot name every file; the wide command line can.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    bool ok = wide && count == argc;
    if (!ok) error = "cannot read the command line as wide characters";
    for (int i = first; ok && i < argc; ++i) {
        Named one;
        one.shown = Utf8(wide[i], wcslen(wide[i]));
        LongPath(wide[i], one.native, one.error);
        named.push_back(one);
    }
    LocalFree(wide);
    return ok;
}

Path Join(const Path& folder, const Path& name) { return folder + L'\\' + name; }

bool Classify(const Path& path, bool followLink, Kind& kind, std::string& error) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = SystemError("cannot look at it");
        return false;
    }
    kind = KindOf(attributes);
    if (kind == Kind::Link && followLink) {
        // What a link or junction leads to: opening it goes through.
        HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        BY_HANDLE_FILE_INFORMATION info;
        if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) {
            error = SystemError("cannot follow the link");
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
            return false;
        }
        CloseHandle(h);
        kind = KindOf(info.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));
    }
    return true;
}

bool ListFolder(const Path& folder, std::vector<Entry>& entries, std::string& error) {
    entries.clear();
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileExW(Join(folder, L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        error = SystemError("cannot open the folder");
        return false;
    }
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({name, Utf8(name.data(), name.size()), KindOf(found.dwFileAttributes)});
    } while (FindNextFileW(find, &found));
    DWORD code = GetLastError();
    FindClose(find);
    if (code != ERROR_NO_MORE_FILES) {
        error = SystemError("cannot read the folder", code);
        return false;
    }
    // UTF-8 byte order, the order the POSIX build prints in.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.shown < b.shown; });
    return true;
}

bool ReadPage(const Path& path, std::string& bytes, Facts& facts, std::string& error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = SystemError("cannot open it");
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(file, &info) != 0;
    if (!ok) {
        error = SystemError("cannot look at it");
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ok = false;
        error = "not a regular file";
    } else {
        facts.links = info.nNumberOfLinks;
        unsigned long long size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        if (size >= static_cast<size_t>(-1) / 2) {
            ok = false;
            error = "too large to read";
        }
        size_t have = 0;
        if (ok) bytes.resize(static_cast<size_t>(size) + 1);
        while (ok) {
            if (have == bytes.size()) bytes.resize(bytes.size() * 2);
            DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - have, 1u << 30)), got = 0;
            if (!::ReadFile(file, &bytes[have], chunk, &got, nullptr)) {
                ok = false;
                error = SystemError("cannot read it");
            } else if (got == 0) {
                break;
            }
            have += got;
        }
        bytes.resize(have);
    }
    CloseHandle(file);
    return ok;
}

bool ReplacePage(const Path& path, std::string_view bytes, const Facts&, std::string& error) {
    // A name of its own in the same folder, so that the replacement stays on one volume.
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        temp = path + L".quorvane-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
        file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = SystemError("cannot create a file beside it");
        return false;
    }
    const char* step = nullptr;
    if (!WriteAll(file, bytes)) step = "cannot write the new file";
    else if (!FlushFileBuffers(file)) step = "cannot flush the new file to disk";
    DWORD code = GetLastError();
    if (!CloseHandle(file) && !step) step = "cannot write the new file", code = GetLastError();
    // ReplaceFileW keeps the original's attributes, security descriptor and
    // creation time, which a plain rename would lose.
    if (!step && !ReplaceFileW(path.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        step = "cannot put the new file in its place", code = GetLastError();
    if (step) {
        error = SystemError(step, code);
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

unsigned ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

namespace {

struct ThreadCall {
    void (*body)(void*);
    void* context;
};

// The thread start routine has the WINAPI calling convention, which a lambda cannot give on 32-bit Windows.
DWORD WINAPI ThreadStart(void* call) {
    static_cast<ThreadCall*>(call)->body(static_cast<ThreadCall*>(call)->context);
    return 0;
}

}  // namespace

void RunThreads(unsigned threads, void (*body)(void*), void* context) {
    ThreadCall call{body, context};
    std::vector<HANDLE> started;
    for (unsigned i = 1; i < threads; ++i) {
        HANDLE t = CreateThread(nullptr, 0, ThreadStart, &call, 0, nullptr);
        if (!t) break;
        started.push_back(t);
    }
    body(context);
    for (HANDLE t : started) {
        WaitForSingleObject(t, INFINITE);
        CloseHandle(t);
    }
}

bool Interrupted() { return false; }

void Write(bool toError, std::string_view text) {
    // Line ends go out as LF, as on POSIX: no text-mode translation.
    static bool binary = (_setmode(_fileno(stdout), _O_BINARY), _setmode(_fileno(stderr), _O_BINARY), true);
    (void)binary;
    FILE* stream = toError ? stderr : stdout;
    HANDLE handle = GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode;
    if (GetConsoleMode(handle, &mode)) {
        fflush(stream);
        std::wstring wide = Wide(text);
        DWORD written;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        fwrite(text.data(), 1, text.size(), stream);
    }
}

void Flush() {
    fflush(stdout);
    fflush(stderr);
}

}  // namespace files
