// Replacing a page on POSIX systems: a locked temporary file in the page's folder with the page's owner, mode and extended attributes, renamed over it only while the page is unchanged.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "Files.h"
#include "TemporaryName.h"

namespace files {

namespace {

std::string SystemError(const std::string& what, int code = errno) { return what + ": " + strerror(code); }

// A name not taken yet most likely: the process, the time and a count, mixed.
std::string TemporaryName(unsigned attempt) {
    static std::atomic<unsigned long long> count{0};
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return MakeTemporaryName((static_cast<unsigned long long>(getpid()) << 40) ^ static_cast<unsigned long long>(now.tv_nsec) ^
                             (static_cast<unsigned long long>(now.tv_sec) << 20) ^ (count++ * 0x9E3779B97F4A7C15ULL) ^ attempt);
}

bool WriteAll(int fd, std::string_view bytes, const std::atomic<bool>& stop) {
    const size_t step = size_t(8) << 20;
    while (!bytes.empty() && !stop.load(std::memory_order_relaxed)) {
        ssize_t n = write(fd, bytes.data(), std::min(bytes.size(), step));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

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

}  // namespace

// The new file from its creation to its rename; whatever does not end in the rename removes it.
class Replacement {
public:
    Replacement(const Folder& folder, Page& page) : folder_(folder.fd_), page_(page) {}
    ~Replacement() {
        if (fd_ >= 0) {
            unlinkat(folder_, name_.c_str(), 0);
            close(fd_);
        }
    }

    bool Create(std::string& error) {
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            name_ = TemporaryName(attempt);
            fd_ = openat(folder_, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ < 0 && errno == EEXIST) continue;
            if (fd_ < 0) break;
            // Held while the file exists under this name: the next run over the
            // folder tells a killed run's file, which no one holds, from this one.
            if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
            close(fd_);  // another run is just removing it as a leftover
            fd_ = -1;
        }
        error = SystemError("cannot create a file beside it");
        return false;
    }

    // The owner first: changing it would clear set-user-id and set-group-id bits set before.
    bool Keep(std::string& error) {
        const Stamp& page = page_.Stamped();
        struct stat st;
        if (fstat(fd_, &st) != 0) return Fail("cannot look at the new file", error);
        if ((st.st_uid != page.uid || st.st_gid != page.gid) && fchown(fd_, page.uid, page.gid) != 0) {
            return Fail("cannot give the new file the page's owner and group", error);
        }
        if (fchmod(fd_, page.mode) != 0) return Fail("cannot give the new file the page's permissions", error);
        return KeepAttributes(error);
    }

    // Extended attributes as the page has them: ACLs, security labels, the user's own; none more.
    bool KeepAttributes(std::string& error) {
        std::vector<std::string> names, present;
        std::string value, set;
        if (!AttributeNames(page_.fd_, names)) return Fail("cannot list the page's extended attributes", error);
        if (!AttributeNames(fd_, present)) return Fail("cannot list the new file's extended attributes", error);
        for (const std::string& name : present) {
            if (std::find(names.begin(), names.end(), name) == names.end() && fremovexattr(fd_, name.c_str()) != 0) {
                return Fail("cannot take extended attribute " + name + " off the new file", error);
            }
        }
        for (const std::string& name : names) {
            if (!AttributeValue(page_.fd_, name, value)) return Fail("cannot read extended attribute " + name, error);
            // A label the system gave the new file may be one it cannot set; the same one is what matters.
            if (fsetxattr(fd_, name.c_str(), value.data(), value.size(), 0) != 0 &&
                !(AttributeValue(fd_, name, set) && set == value)) {
                return Fail("cannot give the new file extended attribute " + name, error);
            }
        }
        return true;
    }

    Outcome Write(std::string_view bytes, const std::atomic<bool>& stop, std::string& error) {
        if (!WriteAll(fd_, bytes, stop)) return Fail("cannot write the new file", error), Outcome::Failed;
        if (stop.load()) return Outcome::Stopped;
        if (fsync(fd_) != 0) return Fail("cannot flush the new file to disk", error), Outcome::Failed;
        return Outcome::Done;
    }

    bool Rename(const Path& page, std::string& error) {
        if (renameat(folder_, name_.c_str(), folder_, page.c_str()) != 0) {
            return Fail("cannot rename the new file over it", error);
        }
        close(fd_);
        fd_ = -1;
        return true;
    }

private:
    static bool Fail(const std::string& step, std::string& error) {
        error = SystemError(step);
        return false;
    }

    int folder_;
    Page& page_;
    int fd_ = -1;
    std::string name_;
};

Outcome ReplacePage(const Folder& folder, const Path& name, Page& page, std::string_view read, std::string_view bytes,
                    const std::atomic<bool>& stop, std::string& error) {
    Replacement replacement(folder, page);
    if (!replacement.Create(error) || !replacement.Keep(error)) return Outcome::Failed;
    const Outcome written = replacement.Write(bytes, stop, error);
    if (written != Outcome::Done) return written;
    const Outcome unchanged = page.Unchanged(folder, name, read, error);
    if (unchanged != Outcome::Done) return unchanged;
    if (stop.load()) return Outcome::Stopped;
    return replacement.Rename(name, error) ? Outcome::Done : Outcome::Failed;
}

bool IsTemporaryName(const Path& name) { return IsOwnTemporaryName(name); }

Outcome RemoveLeftover(const Folder& folder, const Path& name, std::string& error) {
    int fd = openat(folder.fd_, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = SystemError("cannot open it");
        return Outcome::Failed;
    }
    struct stat held, named;
    Outcome outcome = Outcome::Failed;
    if (fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
        error = "not a regular file";
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        outcome = errno == EWOULDBLOCK ? Outcome::Stopped : Outcome::Failed;
        error = SystemError("cannot lock it");
    } else if (fstatat(folder.fd_, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_ino != held.st_ino ||
               named.st_dev != held.st_dev) {
        outcome = Outcome::Stopped;  // renamed or replaced meanwhile: not the file locked
    } else if (unlinkat(folder.fd_, name.c_str(), 0) != 0) {
        error = SystemError("cannot remove it");
    } else {
        outcome = Outcome::Done;
    }
    close(fd);
    return outcome;
}

}  // namespace files
