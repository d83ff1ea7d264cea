// The file steps' system calls on POSIX systems: names opened from an open folder's descriptor, without blocking, never through a link inside a folder.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#if defined(__linux__)
#include <sys/random.h>
#endif
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "System.h"

namespace files {

const Handle kNoHandle = -1;
const char kShownSeparator = '/';

namespace sys {

namespace {

// Opened without blocking: a FIFO's open waits for a writer otherwise, and a
// device's may wait for the device. A regular file reads the same either way.
const int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
const int kFolderFlags = kReadFlags | O_DIRECTORY;

std::string ErrorOf(const std::string& what, int code) { return what + ": " + strerror(code); }

const char* OtherKind(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    return "neither a file nor a folder";
}

long long Nanoseconds(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec; }

void Fill(const struct stat& st, Look& look, Stamp* stamp) {
    look.kind = S_ISREG(st.st_mode) ? Kind::File : S_ISDIR(st.st_mode) ? Kind::Folder
                : S_ISLNK(st.st_mode) ? Kind::Link : Kind::Other;
    look.id = {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
    look.other = OtherKind(st.st_mode);
    if (!stamp) return;
    stamp->id = look.id;
    stamp->size = static_cast<unsigned long long>(st.st_size);
    stamp->modified = Nanoseconds(st.st_mtim);
    stamp->changed = Nanoseconds(st.st_ctim);
    stamp->links = static_cast<unsigned long>(st.st_nlink);
    stamp->mode = static_cast<unsigned>(st.st_mode & 07777);
    stamp->uid = static_cast<unsigned>(st.st_uid);
    stamp->gid = static_cast<unsigned>(st.st_gid);
}

// Gone: no such name, or (O_NOFOLLOW, O_DIRECTORY) a link or a non-folder in its place.
Result Opened(int fd) {
    if (fd >= 0) return Result::Ok;
    return errno == ENOENT || errno == ENOTDIR || errno == ELOOP ? Result::Gone : Result::Failed;
}

}  // namespace

std::string Error(const char* what) { return ErrorOf(what, errno); }

Result OpenFolderAt(const OpenFolder* parent, const Path& name, OpenFolder& folder) {
    folder.handle = parent ? openat(parent->handle, name.c_str(), kFolderFlags | O_NOFOLLOW) : open(name.c_str(), kFolderFlags);
    return Opened(folder.handle);
}

bool LookAtHandle(Handle handle, Look& look, Stamp* stamp) {
    struct stat st;
    if (fstat(handle, &st) != 0) return false;
    Fill(st, look, stamp);
    return true;
}

Result LookAtName(const OpenFolder& folder, const Path& name, bool followLink, Look& look, Stamp* stamp) {
    struct stat st;
    if (fstatat(folder.handle, name.c_str(), &st, followLink ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? Result::Gone : Result::Failed;
    }
    Fill(st, look, stamp);
    return Result::Ok;
}

bool LookAtPath(const Path& path, bool followLink, Look& look) {
    struct stat st;
    if ((followLink ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0) return false;
    Fill(st, look, nullptr);
    return true;
}

bool ListFolder(const OpenFolder& folder, const Identity&, std::vector<Entry>& entries, std::string& error) {
    // A description of its own, so that the listing starts at the first entry whoever listed before.
    int fd = openat(folder.handle, ".", kFolderFlags);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (!dir) {
        error = Error("cannot open the folder");
        if (fd >= 0) close(fd);
        return false;
    }
    errno = 0;
    while (struct dirent* e = readdir(dir)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        // Gone since the listing began: as if it had never been there.
        if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            entries.push_back({e->d_name, e->d_name, Look()});
            Fill(st, entries.back().look, nullptr);
        }
        errno = 0;
    }
    const int readError = errno;
    closedir(dir);
    if (readError != 0) error = ErrorOf("cannot read the folder", readError);
    return readError == 0;
}

Result OpenForReading(const OpenFolder& folder, const Path& name, bool followLink, Handle& handle) {
    handle = openat(folder.handle, name.c_str(), kReadFlags | (followLink ? 0 : O_NOFOLLOW));
    return handle >= 0 ? Result::Ok : errno == ENOENT || errno == ELOOP ? Result::Gone : Result::Failed;
}

bool OpenPathForReading(const Path& path, Handle& handle) { return (handle = open(path.c_str(), kReadFlags)) >= 0; }

bool ReadSome(Handle handle, char* into, size_t size, size_t& got) {
    ssize_t n;
    while ((n = read(handle, into, size)) < 0 && errno == EINTR) {
    }
    got = n > 0 ? static_cast<size_t>(n) : 0;
    return n >= 0;
}

bool Rewind(Handle handle) { return lseek(handle, 0, SEEK_SET) == 0; }

void Close(Handle& handle) {
    if (handle >= 0) close(handle);
    handle = kNoHandle;
}

Result CreateHeld(const OpenFolder& folder, const Path& name, Handle& handle) {
    handle = openat(folder.handle, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (handle < 0) return errno == EEXIST ? Result::Taken : Result::Failed;
    // Held while the file exists under this name: the next run over the
    // folder tells a killed run's file, which no one holds, from this one.
    if (flock(handle, LOCK_EX | LOCK_NB) == 0) return Result::Ok;
    Close(handle);  // another run is just removing it as a leftover
    return Result::Taken;
}

namespace {

// The names of fd's extended attributes, or none where the file system has none.
bool AttributeNames(int fd, std::vector<std::string>& names) {
    names.clear();
    std::string list;
    for (;;) {
        ssize_t n = flistxattr(fd, nullptr, 0);
        if (n < 0) return errno == ENOTSUP || errno == ENOSYS;
        list.resize(static_cast<size_t>(n));
        n = n == 0 ? 0 : flistxattr(fd, &list[0], list.size());
        if (n < 0 && errno == ERANGE) continue;  // grown in between
        if (n < 0) return false;
        list.resize(static_cast<size_t>(n));
        break;
    }
    for (size_t at = 0; at < list.size();) {
        const size_t end = list.find('\0', at);
        names.push_back(list.substr(at, end - at));
        at = end == std::string::npos ? list.size() : end + 1;
    }
    return true;
}

bool AttributeValue(int fd, const std::string& name, std::string& value) {
    for (;;) {
        ssize_t n = fgetxattr(fd, name.c_str(), nullptr, 0);
        if (n < 0) return false;
        value.resize(static_cast<size_t>(n));
        n = n == 0 ? 0 : fgetxattr(fd, name.c_str(), &value[0], value.size());
        if (n < 0 && errno == ERANGE) continue;
        if (n < 0) return false;
        value.resize(static_cast<size_t>(n));
        return true;
    }
}

bool Fail(const std::string& step, std::string& error) {
    error = ErrorOf(step, errno);
    return false;
}

// Extended attributes as `from` has them: ACLs, security labels, the user's own; none more.
bool KeepAttributes(int from, int to, std::string& error) {
    std::vector<std::string> names, present;
    std::string value, set;
    if (!AttributeNames(from, names)) return Fail("cannot list the page's extended attributes", error);
    if (!AttributeNames(to, present)) return Fail("cannot list the new file's extended attributes", error);
    for (const std::string& name : present) {
        if (std::find(names.begin(), names.end(), name) == names.end() && fremovexattr(to, name.c_str()) != 0) {
            return Fail("cannot take extended attribute " + name + " off the new file", error);
        }
    }
    for (const std::string& name : names) {
        if (!AttributeValue(from, name, value)) return Fail("cannot read extended attribute " + name, error);
        // A label the system gave the new file may be one it cannot set; the same one is what matters.
        if (fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0 && !(AttributeValue(to, name, set) && set == value)) {
            return Fail("cannot give the new file extended attribute " + name, error);
        }
    }
    return true;
}

}  // namespace

// The owner first: changing it would clear set-user-id and set-group-id bits set before.
bool KeepMetadata(Handle from, const Stamp& stamp, Handle to, std::string& error) {
    struct stat st;
    if (fstat(to, &st) != 0) return Fail("cannot look at the new file", error);
    if ((st.st_uid != stamp.uid || st.st_gid != stamp.gid) && fchown(to, stamp.uid, stamp.gid) != 0) {
        return Fail("cannot give the new file the page's owner and group", error);
    }
    if (fchmod(to, stamp.mode) != 0) return Fail("cannot give the new file the page's permissions", error);
    return KeepAttributes(from, to, error);
}

// The umask is read by setting it, and so set back at once; the threads
// that create files start after the tool's own files are written.
bool MakeOrdinary(Handle handle, std::string& error) {
    const mode_t mask = umask(077);
    umask(mask);
    return fchmod(handle, 0666 & ~mask) == 0 || Fail("cannot give the new file its permissions", error);
}

bool WriteSome(Handle handle, const char* bytes, size_t size, size_t& wrote) {
    ssize_t n;
    while ((n = write(handle, bytes, size)) < 0 && errno == EINTR) {
    }
    wrote = n > 0 ? static_cast<size_t>(n) : 0;
    return n >= 0;
}

bool FlushToDisk(Handle handle) { return fsync(handle) == 0; }

// Renamed while still locked, so that no other run removes it in between; closed after.
bool PutInPlace(const OpenFolder& folder, const Path& temporary, Handle& held, const Path& name, Handle& replaced,
                std::string& error) {
    if (renameat(folder.handle, temporary.c_str(), folder.handle, name.c_str()) != 0) {
        return Fail("cannot rename the new file over it", error);
    }
    Close(held);
    Close(replaced);
    return true;
}

// A second name that fails where one stands, then the first one gone; still
// locked meanwhile, so that no other run takes the file for a leftover.
Result PutNew(const OpenFolder& folder, const Path& temporary, Handle& held, const Path& name, std::string& error) {
    if (linkat(folder.handle, temporary.c_str(), folder.handle, name.c_str(), 0) != 0) {
        const int code = errno;
        Discard(folder, temporary, held);
        error = ErrorOf("cannot give the new file its name", code);
        return code == EEXIST ? Result::Taken : Result::Failed;
    }
    unlinkat(folder.handle, temporary.c_str(), 0);
    Close(held);
    return Result::Ok;
}

// Removed while still locked, then closed.
void Discard(const OpenFolder& folder, const Path& temporary, Handle& held) {
    unlinkat(folder.handle, temporary.c_str(), 0);
    Close(held);
}

Result HoldAlone(const OpenFolder& folder, const Path& name, Handle& handle, std::string& error) {
    handle = openat(folder.handle, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (handle < 0) return error = Error("cannot open it"), Result::Failed;
    struct stat st;
    Result result = Result::Ok;
    if (fstat(handle, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file";
        result = Result::Failed;
    } else if (flock(handle, LOCK_EX | LOCK_NB) != 0) {
        result = errno == EWOULDBLOCK ? Result::Taken : Result::Failed;
        error = Error("cannot lock it");
    }
    if (result != Result::Ok) Close(handle);
    return result;
}

bool RemoveHeld(const OpenFolder& folder, const Path& name, Handle& handle, std::string& error) {
    const bool removed = unlinkat(folder.handle, name.c_str(), 0) == 0;
    if (!removed) error = Error("cannot remove it");
    Close(handle);
    return removed;
}

unsigned long long ProcessId() { return static_cast<unsigned long long>(getpid()); }

unsigned long long Clock() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<unsigned long long>(now.tv_nsec) ^ (static_cast<unsigned long long>(now.tv_sec) << 20);
}

}  // namespace sys

bool RandomBytes(char* into, size_t size, std::string& error) {
#if defined(__linux__)
    // getrandom waits only until the kernel's pool is first seeded, and takes no descriptor.
    while (size > 0) {
        const ssize_t n = getrandom(into, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == ENOSYS) break;  // a kernel older than 3.17
        if (n < 0) return error = sys::Error("cannot read the system's random source"), false;
        into += n, size -= static_cast<size_t>(n);
    }
    if (size == 0) return true;
#endif
    Handle handle = kNoHandle;
    if (!sys::OpenPathForReading("/dev/urandom", handle)) return error = sys::Error("cannot open /dev/urandom"), false;
    size_t got = 0;
    for (; size > 0; into += got, size -= got) {
        if (!sys::ReadSome(handle, into, size, got) || got == 0) break;
    }
    if (size > 0) error = sys::Error("cannot read /dev/urandom");
    sys::Close(handle);
    return size == 0;
}

bool ArgumentPaths(int argc, char** argv, int first, std::vector<Named>& named, std::string&) {
    for (int i = first; i < argc; ++i) named.push_back({argv[i], argv[i], std::string()});
    return true;
}

void SplitPath(const Path& path, Path& folder, Path& name) {
    const size_t slash = path.rfind('/');
    folder = slash == Path::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name = slash == Path::npos ? path : path.substr(slash + 1);
}

}  // namespace files
