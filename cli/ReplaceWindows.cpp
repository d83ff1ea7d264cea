// Replacing a page on Windows: a temporary file in the page's folder, put in the page's place by ReplaceFileW only while the page is unchanged.
#include <windows.h>

#include <algorithm>

#include "Files.h"
#include "TemporaryName.h"

namespace files {

namespace {

std::string SystemError(const char* what, unsigned long code = GetLastError()) { return WindowsError(what, code); }

std::wstring TemporaryName(unsigned attempt) {
    static std::atomic<unsigned long long> count{0};
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const std::string name = MakeTemporaryName((static_cast<unsigned long long>(GetCurrentProcessId()) << 40) ^
                                               static_cast<unsigned long long>(now.QuadPart) ^
                                               (count++ * 0x9E3779B97F4A7C15ULL) ^ attempt);
    return std::wstring(name.begin(), name.end());  // ASCII only
}

bool WriteAll(HANDLE file, std::string_view bytes, const std::atomic<bool>& stop) {
    while (!bytes.empty() && !stop.load(std::memory_order_relaxed)) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 23)), written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

// The new file from its creation to ReplaceFileW; whatever does not end there removes it.
class Replacement {
public:
    explicit Replacement(const Folder& folder) : folder_(folder.path_ + L'\\') {}
    ~Replacement() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
        if (!name_.empty()) DeleteFileW((folder_ + name_).c_str());
    }

    // Not shared while it is written: the next run over the folder tells a
    // killed run's file, which no one has open, from this one.
    bool Create(std::string& error) {
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            const std::wstring name = TemporaryName(attempt);
            file_ = CreateFileW((folder_ + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY, nullptr);
            if (file_ != INVALID_HANDLE_VALUE) {
                name_ = name;
                return true;
            }
            if (GetLastError() != ERROR_FILE_EXISTS) break;
        }
        error = SystemError("cannot create a file beside it");
        return false;
    }

    Outcome Write(std::string_view bytes, const std::atomic<bool>& stop, std::string& error) {
        if (!WriteAll(file_, bytes, stop)) return error = SystemError("cannot write the new file"), Outcome::Failed;
        if (stop.load()) return Outcome::Stopped;
        if (!FlushFileBuffers(file_)) return error = SystemError("cannot flush the new file to disk"), Outcome::Failed;
        const bool closed = CloseHandle(file_) != 0;
        file_ = INVALID_HANDLE_VALUE;
        return closed ? Outcome::Done : (error = SystemError("cannot write the new file"), Outcome::Failed);
    }

    // ReplaceFileW keeps the original's attributes, security descriptor and
    // creation time, which a plain rename would lose.
    bool Replace(const Path& page, std::string& error) {
        if (!ReplaceFileW((folder_ + page).c_str(), (folder_ + name_).c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                          nullptr, nullptr)) {
            error = SystemError("cannot put the new file in its place");
            return false;
        }
        name_.clear();
        return true;
    }

private:
    std::wstring folder_;
    std::wstring name_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

Outcome ReplacePage(const Folder& folder, const Path& name, Page& page, std::string_view read, std::string_view bytes,
                    const std::atomic<bool>& stop, std::string& error) {
    Replacement replacement(folder);
    if (!replacement.Create(error)) return Outcome::Failed;
    const Outcome written = replacement.Write(bytes, stop, error);
    if (written != Outcome::Done) return written;
    const Outcome unchanged = page.Unchanged(folder, name, read, error);
    if (unchanged != Outcome::Done) return unchanged;
    if (stop.load()) return Outcome::Stopped;
    // ReplaceFileW opens the page itself, with sharing of its own.
    page.Close();
    return replacement.Replace(name, error) ? Outcome::Done : Outcome::Failed;
}

bool IsTemporaryName(const Path& name) {
    if (std::any_of(name.begin(), name.end(), [](wchar_t c) { return c == 0 || c > 127; })) return false;
    return IsOwnTemporaryName(std::string(name.begin(), name.end()));
}

Outcome RemoveLeftover(const Folder& folder, const Path& name, std::string& error) {
    // Opened unshared: a running writer's file, open without sharing, refuses.
    HANDLE h = CreateFileW((folder.path_ + L'\\' + name).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION) return Outcome::Stopped;
        error = SystemError("cannot remove it", code);
        return Outcome::Failed;
    }
    CloseHandle(h);
    return Outcome::Done;
}

}  // namespace files
