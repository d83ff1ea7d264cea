// The site commands' file access on Windows: wide-character paths with the \\?\ prefix, each folder and page checked by its file ID, reparse points never followed inside a folder.
#include "Files.h"

#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace files {

const char kShownSeparator = '\\';

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
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring Wide(std::string_view text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

}  // namespace

std::string WindowsError(const char* what, unsigned long code) {
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

namespace {

std::string SystemError(const char* what, DWORD code = GetLastError()) { return WindowsError(what, code); }

bool Gone(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

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

// Opened for its attributes only, never for reading: a pipe's or a device's open does not wait.
HANDLE OpenToLook(const Path& path, bool followLink, DWORD access = FILE_READ_ATTRIBUTES) {
    return CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

bool LookAtHandle(HANDLE h, Look& look, Stamp* stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return false;
    look.kind = GetFileType(h) == FILE_TYPE_DISK ? KindOf(info.dwFileAttributes) : Kind::Other;
    look.id = {info.dwVolumeSerialNumber, (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    look.other = GetFileType(h) == FILE_TYPE_PIPE ? "a pipe" : "a device";
    if (!stamp) return true;
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) return false;
    stamp->id = look.id;
    stamp->size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp->modified = basic.LastWriteTime.QuadPart;
    stamp->changed = basic.ChangeTime.QuadPart;
    stamp->links = info.nNumberOfLinks;
    return true;
}

// Reads up to `size` bytes; 0 at the end.
bool ReadSome(HANDLE h, char* into, size_t size, size_t& got) {
    DWORD n = 0;
    const bool ok = ReadFile(h, into, static_cast<DWORD>(std::min<size_t>(size, 1u << 23)), &n, nullptr) != 0;
    got = n;
    return ok;
}

// An entry of a folder's listing, with its file ID; "." and ".." left out.
void AddEntry(const Path& folder, unsigned long long volume, const FILE_ID_BOTH_DIR_INFO& e,
              std::vector<Folder::Entry>& entries) {
    const std::wstring name(e.FileName, e.FileNameLength / sizeof(wchar_t));
    if (name == L"." || name == L"..") return;
    Look look;
    look.kind = KindOf(e.FileAttributes);
    look.id = {volume, static_cast<unsigned long long>(e.FileId.QuadPart)};
    look.other = "a device";
    // File systems without file IDs in their listings (FAT) give 0: the entry itself tells.
    std::string unused;
    if (e.FileId.QuadPart != 0 || look.kind == Kind::Link || LookAt(folder + L'\\' + name, false, look, unused)) {
        entries.push_back({name, Utf8(name.data(), name.size()), look});
    }
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

bool LookAt(const Path& path, bool followLink, Look& look, std::string& error) {
    HANDLE h = OpenToLook(path, followLink);
    const bool ok = h != INVALID_HANDLE_VALUE && LookAtHandle(h, look, nullptr);
    if (!ok) error = SystemError("cannot look at it");
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return ok;
}

void SplitPath(const Path& path, Path& folder, Path& name) {
    const size_t slash = path.rfind(L'\\');
    folder = path.substr(0, slash);
    name = path.substr(slash + 1);
}

Folder::~Folder() { Close(); }
Folder::Folder(Folder&& other) noexcept : path_(std::move(other.path_)), handle_(other.handle_), id_(other.id_) {
    other.handle_ = nullptr;
}
Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_), handle_ = other.handle_, id_ = other.id_;
        other.handle_ = nullptr;
    }
    return *this;
}

void Folder::Close() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
}

// Held open while the folder is in use; the identity is checked by the caller against the walk's.
Outcome Folder::Opened(bool followLink, std::string& error) {
    Close();
    HANDLE h = OpenToLook(path_, followLink, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (Gone(code)) return Outcome::Changed;
        error = SystemError("cannot open the folder", code);
        return Outcome::Failed;
    }
    handle_ = h;
    Look look;
    if (!LookAtHandle(h, look, nullptr)) {
        error = SystemError("cannot look at the folder");
        return Outcome::Failed;
    }
    id_ = look.id;
    return look.kind == Kind::Folder ? Outcome::Done : Outcome::Changed;
}

Outcome Folder::OpenPath(const Path& path, std::string& error) {
    path_ = path;
    return Opened(true, error);
}

Outcome Folder::OpenChild(const Folder& parent, const Path& name, std::string& error) {
    path_ = parent.path_ + L'\\' + name;
    return Opened(false, error);
}

bool Folder::List(std::vector<Entry>& entries, std::string& error) const {
    entries.clear();
    // The listing with each entry's file ID, from the open folder.
    alignas(8) char buffer[64 * 1024];
    for (FILE_INFO_BY_HANDLE_CLASS step = FileIdBothDirectoryRestartInfo;; step = FileIdBothDirectoryInfo) {
        if (!GetFileInformationByHandleEx(handle_, step, buffer, sizeof buffer)) {
            const DWORD code = GetLastError();
            if (code == ERROR_NO_MORE_FILES) break;
            error = SystemError("cannot read the folder", code);
            return false;
        }
        for (const char* at = buffer;;) {
            const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            AddEntry(path_, id_.volume, *e, entries);
            if (e->NextEntryOffset == 0) break;
            at += e->NextEntryOffset;
        }
    }
    // UTF-8 byte order, the order the POSIX build prints in.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.shown < b.shown; });
    return true;
}

Page::~Page() { Close(); }

void Page::Close() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
}

Outcome Page::Open(const Folder& folder, const Path& name, bool followLink, const Identity& expected,
                   std::string& error) {
    Close();
    // Shared for writing and deleting too, so that no one else's work is held
    // up; a change meanwhile is found before the page is replaced.
    HANDLE h = CreateFileW((folder.path_ + L'\\' + name).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (Gone(code)) return Outcome::Changed;
        error = SystemError("cannot open it", code);
        return Outcome::Failed;
    }
    handle_ = h;
    Look look;
    if (!LookAtHandle(h, look, &stamp_)) {
        error = SystemError("cannot look at it");
        return Outcome::Failed;
    }
    if (look.id != expected || look.kind == Kind::Link || look.kind == Kind::Folder) return Outcome::Changed;
    if (look.kind != Kind::File) {
        error = std::string("not a regular file but ") + look.other + "; not read";
        return Outcome::Failed;
    }
    return Outcome::Done;
}

Outcome Page::Read(char* bytes, std::string& error, const std::atomic<bool>& stop) {
    const size_t size = static_cast<size_t>(stamp_.size);
    size_t got = 0;
    for (size_t have = 0; have < size; have += got) {
        if (stop.load(std::memory_order_relaxed)) return Outcome::Stopped;
        if (!ReadSome(handle_, bytes + have, size - have, got)) {
            error = SystemError("cannot read it");
            return Outcome::Failed;
        }
        if (got == 0) return Outcome::Changed;
    }
    char more;
    if (!ReadSome(handle_, &more, 1, got)) {
        error = SystemError("cannot read it");
        return Outcome::Failed;
    }
    return got == 0 ? Outcome::Done : Outcome::Changed;
}

Outcome Page::ReadStart(char* bytes, size_t length, std::string& error) {
    size_t got = 0;
    for (size_t have = 0; have < length; have += got) {
        if (!ReadSome(handle_, bytes + have, length - have, got)) {
            error = SystemError("cannot read it");
            return Outcome::Failed;
        }
        if (got == 0) return Outcome::Changed;
    }
    // Read starts from the beginning again.
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN)) {
        error = SystemError("cannot read it");
        return Outcome::Failed;
    }
    return Outcome::Done;
}

bool ReadNamedFile(const Named& named, std::string& bytes, std::string& error) {
    if (!named.error.empty()) return error = named.error, false;
    HANDLE h = CreateFileW(named.native.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size = {};
    if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size) ||
        size.QuadPart > (16 << 20)) {
        error = h == INVALID_HANDLE_VALUE ? SystemError("cannot open it") : "not a regular file of up to 16 MiB";
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return false;
    }
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t got = 0;
    bool ok = true;
    for (size_t have = 0; ok && have < bytes.size(); have += got) {
        ok = ReadSome(h, &bytes[have], bytes.size() - have, got) && got != 0;
    }
    if (!ok) error = SystemError("cannot read it");
    CloseHandle(h);
    return ok;
}

Outcome Page::Unchanged(const Folder& folder, const Path& name, std::string_view read, std::string& error) {
    Look look;
    Stamp now, named;
    HANDLE h = OpenToLook(folder.path_ + L'\\' + name, false);
    const bool looked = LookAtHandle(handle_, look, &now) && h != INVALID_HANDLE_VALUE && LookAtHandle(h, look, &named);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!looked || !now.SameAs(stamp_) || !named.SameAs(stamp_)) return Outcome::Changed;
    // An edit within the clock's last tick can leave the times as they were; the bytes tell.
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN)) {
        error = SystemError("cannot read it again");
        return Outcome::Failed;
    }
    char buffer[1 << 16];
    for (size_t at = 0, got;; at += got) {
        if (!ReadSome(handle_, buffer, sizeof buffer, got)) {
            error = SystemError("cannot read it again");
            return Outcome::Failed;
        }
        if (got == 0) return at == read.size() ? Outcome::Done : Outcome::Changed;
        if (at + got > read.size() || memcmp(buffer, read.data() + at, got) != 0) return Outcome::Changed;
    }
}

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

bool Flush() {
    const bool written = fflush(stdout) == 0 && !ferror(stdout);
    fflush(stderr);
    return written;
}

}  // namespace files
