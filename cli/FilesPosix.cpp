// The site commands' file access on POSIX systems: folders and pages opened from an open folder, without blocking, and renamed within it.
#include "Files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace files {

const char kShownSeparator = '/';

namespace {

// Opened without blocking: a FIFO's open waits for a writer otherwise, and a
// device's may wait for the device. A regular file reads the same either way.
const int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
const int kFolderFlags = kReadFlags | O_DIRECTORY;

std::string SystemError(const char* what, int code = errno) { return std::string(what) + ": " + strerror(code); }

const char* OtherKind(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    return "neither a file nor a folder";
}

Look LookOf(const struct stat& st) {
    Look look;
    look.kind = S_ISREG(st.st_mode) ? Kind::File : S_ISDIR(st.st_mode) ? Kind::Folder
                : S_ISLNK(st.st_mode) ? Kind::Link : Kind::Other;
    look.id = {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
    look.other = OtherKind(st.st_mode);
    return look;
}

long long Nanoseconds(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec; }

Stamp StampOf(const struct stat& st) {
    Stamp stamp;
    stamp.id = LookOf(st).id;
    stamp.size = static_cast<unsigned long long>(st.st_size);
    stamp.modified = Nanoseconds(st.st_mtim);
    stamp.changed = Nanoseconds(st.st_ctim);
    stamp.links = static_cast<unsigned long>(st.st_nlink);
    stamp.mode = static_cast<unsigned>(st.st_mode & 07777);
    stamp.uid = static_cast<unsigned>(st.st_uid);
    stamp.gid = static_cast<unsigned>(st.st_gid);
    return stamp;
}

bool Identify(int fd, Identity& id, std::string& error) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
        error = SystemError("cannot look at it");
        return false;
    }
    id = LookOf(st).id;
    return true;
}

}  // namespace

bool ArgumentPaths(int argc, char** argv, int first, std::vector<Named>& named, std::string&) {
    for (int i = first; i < argc; ++i) named.push_back({argv[i], argv[i], std::string()});
    return true;
}

bool LookAt(const Path& path, bool followLink, Look& look, std::string& error) {
    struct stat st;
    if ((followLink ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0) {
        error = SystemError("cannot look at it");
        return false;
    }
    look = LookOf(st);
    return true;
}

void SplitPath(const Path& path, Path& folder, Path& name) {
    const size_t slash = path.rfind('/');
    folder = slash == Path::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name = slash == Path::npos ? path : path.substr(slash + 1);
}

Folder::~Folder() { Close(); }
Folder::Folder(Folder&& other) noexcept : fd_(other.fd_), id_(other.id_) { other.fd_ = -1; }
Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_, id_ = other.id_;
        other.fd_ = -1;
    }
    return *this;
}

void Folder::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

Outcome Folder::Opened(std::string& error) {
    if (fd_ < 0) {
        // No folder there any more, or something else in its place (with O_NOFOLLOW, a link).
        if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return Outcome::Changed;
        error = SystemError("cannot open the folder");
        return Outcome::Failed;
    }
    return Identify(fd_, id_, error) ? Outcome::Done : Outcome::Failed;
}

Outcome Folder::OpenPath(const Path& path, std::string& error) {
    Close();
    fd_ = open(path.c_str(), kFolderFlags);
    return Opened(error);
}

Outcome Folder::OpenChild(const Folder& parent, const Path& name, std::string& error) {
    Close();
    fd_ = openat(parent.fd_, name.c_str(), kFolderFlags | O_NOFOLLOW);
    return Opened(error);
}

bool Folder::List(std::vector<Entry>& entries, std::string& error) const {
    entries.clear();
    // A description of its own, so that the listing starts at the first entry whoever listed before.
    int fd = openat(fd_, ".", kFolderFlags);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (!dir) {
        error = SystemError("cannot open the folder");
        if (fd >= 0) close(fd);
        return false;
    }
    errno = 0;
    while (struct dirent* e = readdir(dir)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        // Gone since the listing began: as if it had never been there.
        if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            entries.push_back({e->d_name, e->d_name, LookOf(st)});
        }
        errno = 0;
    }
    const int readError = errno;
    closedir(dir);
    if (readError != 0) {
        error = SystemError("cannot read the folder", readError);
        return false;
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return true;
}

Page::~Page() { Close(); }

void Page::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

Outcome Page::Open(const Folder& folder, const Path& name, bool followLink, const Identity& expected,
                   std::string& error) {
    Close();
    const int follow = followLink ? 0 : AT_SYMLINK_NOFOLLOW;
    struct stat st;
    // Looked at before the open, so that a device put in the page's place is
    // not opened at all; looked at again after it, for one swapped in between.
    for (int step = 0; step < 2; ++step) {
        if ((step == 0 ? fstatat(folder.fd_, name.c_str(), &st, follow) : fstat(fd_, &st)) != 0) {
            if (errno == ENOENT) return Outcome::Changed;
            error = SystemError("cannot look at it");
            return Outcome::Failed;
        }
        if (LookOf(st).id != expected) return Outcome::Changed;
        if (!S_ISREG(st.st_mode)) {
            error = std::string("not a regular file but ") + OtherKind(st.st_mode) + "; not read";
            return Outcome::Failed;
        }
        if (step == 0) {
            fd_ = openat(folder.fd_, name.c_str(), kReadFlags | (followLink ? 0 : O_NOFOLLOW));
            if (fd_ < 0) {
                if (errno == ENOENT || errno == ELOOP) return Outcome::Changed;
                error = SystemError("cannot open it");
                return Outcome::Failed;
            }
        }
    }
    stamp_ = StampOf(st);
    return Outcome::Done;
}

namespace {

// Reads `length` bytes on from where the file stands (its start, for each
// caller here), in steps of at most 8 MiB with `stop` looked at between them
// (when given); Changed when the file ends sooner.
Outcome ReadFromStart(int fd, char* bytes, size_t length, const std::atomic<bool>* stop, std::string& error) {
    const size_t step = size_t(8) << 20;
    for (size_t have = 0; have < length;) {
        if (stop && stop->load(std::memory_order_relaxed)) return Outcome::Stopped;
        const ssize_t n = read(fd, bytes + have, std::min(length - have, step));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = SystemError("cannot read it");
            return Outcome::Failed;
        }
        if (n == 0) return Outcome::Changed;
        have += static_cast<size_t>(n);
    }
    return Outcome::Done;
}

}  // namespace

Outcome Page::Read(char* bytes, std::string& error, const std::atomic<bool>& stop) {
    const size_t size = static_cast<size_t>(stamp_.size);
    const Outcome outcome = ReadFromStart(fd_, bytes, size, &stop, error);
    if (outcome != Outcome::Done) return outcome;
    // A byte past the size it had: it grew meanwhile.
    char more;
    ssize_t n;
    while ((n = read(fd_, &more, 1)) < 0 && errno == EINTR) {
    }
    return n == 0 ? Outcome::Done : n > 0 ? Outcome::Changed : (error = SystemError("cannot read it"), Outcome::Failed);
}

Outcome Page::ReadStart(char* bytes, size_t length, std::string& error) {
    const Outcome outcome = ReadFromStart(fd_, bytes, length, nullptr, error);
    // Read starts from the beginning again.
    if (outcome == Outcome::Done && lseek(fd_, 0, SEEK_SET) != 0) {
        error = SystemError("cannot read it");
        return Outcome::Failed;
    }
    return outcome;
}

bool ReadNamedFile(const Named& named, std::string& bytes, std::string& error) {
    if (!named.error.empty()) return error = named.error, false;
    // Without blocking on a FIFO, as for the pages.
    const int fd = open(named.native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        error = SystemError("cannot open it");
        if (fd >= 0) close(fd);
        return false;
    }
    bool ok = S_ISREG(st.st_mode) && st.st_size <= (16 << 20);
    if (!ok) error = "not a regular file of up to 16 MiB";
    bytes.assign(ok ? static_cast<size_t>(st.st_size) : 0, '\0');
    if (ok && ReadFromStart(fd, &bytes[0], bytes.size(), nullptr, error) != Outcome::Done) {
        ok = false;
        if (error.empty()) error = "it changed while it was read";
    }
    close(fd);
    return ok;
}

Outcome Page::Unchanged(const Folder& folder, const Path& name, std::string_view read, std::string& error) {
    struct stat now, named;
    if (fstat(fd_, &now) != 0) {
        error = SystemError("cannot look at it");
        return Outcome::Failed;
    }
    if (fstatat(folder.fd_, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !StampOf(now).SameAs(stamp_) ||
        !StampOf(named).SameAs(stamp_)) {
        return Outcome::Changed;
    }
    // An edit within the clock's last tick can leave the times as they were; the bytes tell.
    char buffer[1 << 16];
    for (size_t at = 0;; ) {
        ssize_t n = pread(fd_, buffer, sizeof buffer, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = SystemError("cannot read it again");
            return Outcome::Failed;
        }
        if (n == 0) return at == read.size() ? Outcome::Done : Outcome::Changed;
        if (at + static_cast<size_t>(n) > read.size() || memcmp(buffer, read.data() + at, static_cast<size_t>(n)) != 0) {
            return Outcome::Changed;
        }
        at += static_cast<size_t>(n);
    }
}

void Write(bool toError, std::string_view text) { fwrite(text.data(), 1, text.size(), toError ? stderr : stdout); }

bool Flush() {
    const bool written = fflush(stdout) == 0 && !ferror(stdout);
    fflush(stderr);
    return written;
}

}  // namespace files
