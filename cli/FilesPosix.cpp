// The site commands' file access on POSIX systems.
#include "Files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace files {

const char kShownSeparator = '/';

namespace {

std::string SystemError(const char* what) { return std::string(what) + ": " + strerror(errno); }

Kind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return Kind::File;
    if (S_ISDIR(mode)) return Kind::Folder;
    if (S_ISLNK(mode)) return Kind::Link;
    return Kind::Other;
}

// The usual terminating signals.
const int kTerminating[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

sigset_t TerminatingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kTerminating) sigaddset(&set, s);
    return set;
}

// Holds back the terminating signals in the calling thread and in every
// thread it starts meanwhile, which inherit its mask. Held in one thread
// only, a signal would go to another and end the process while the first
// is half way through a replacement, leaving its temporary file behind.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t held = TerminatingSignals();
        pthread_sigmask(SIG_BLOCK, &held, &before_);
    }
    // One that came in the meantime acts now, with its usual effect.
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

private:
    sigset_t before_;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

bool ArgumentPaths(int argc, char** argv, int first, std::vector<Named>& named, std::string&) {
    for (int i = first; i < argc; ++i) named.push_back({argv[i], argv[i], std::string()});
    return true;
}

Path Join(const Path& folder, const Path& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + '/' + name;
}

bool Classify(const Path& path, bool followLink, Kind& kind, std::string& error) {
    struct stat st;
    if ((followLink ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0) {
        error = SystemError("cannot look at it");
        return false;
    }
    kind = KindOf(st.st_mode);
    return true;
}

bool ListFolder(const Path& folder, std::vector<Entry>& entries, std::string& error) {
    entries.clear();
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        error = SystemError("cannot open the folder");
        return false;
    }
    errno = 0;
    while (struct dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        Kind kind = Kind::Other;
        switch (e->d_type) {
            case DT_REG: kind = Kind::File; break;
            case DT_DIR: kind = Kind::Folder; break;
            case DT_LNK: kind = Kind::Link; break;
            case DT_UNKNOWN: {
                // Some file systems leave the type to a separate look-up.
                struct stat st;
                if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) kind = KindOf(st.st_mode);
                break;
            }
            default: break;
        }
        entries.push_back({name, name, kind});
        errno = 0;
    }
    int readError = errno;
    closedir(dir);
    if (readError != 0) {
        errno = readError;
        error = SystemError("cannot read the folder");
        return false;
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return true;
}

bool ReadPage(const Path& path, std::string& bytes, Facts& facts, std::string& error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = SystemError("cannot open it");
        return false;
    }
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    if (!ok) {
        error = SystemError("cannot look at it");
    } else if (!S_ISREG(st.st_mode)) {
        ok = false;
        error = "not a regular file";
    } else {
        facts.links = static_cast<unsigned long>(st.st_nlink);
        facts.mode = static_cast<unsigned>(st.st_mode & 07777);
        facts.uid = static_cast<unsigned>(st.st_uid);
        facts.gid = static_cast<unsigned>(st.st_gid);
        // One read for the size the file has; a file that grows meanwhile is
        // read on to its end.
        size_t size = static_cast<size_t>(st.st_size), have = 0;
        bytes.resize(size + 1);
        for (;;) {
            if (have == bytes.size()) bytes.resize(bytes.size() * 2);
            ssize_t n = read(fd, &bytes[have], bytes.size() - have);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                ok = false;
                error = SystemError("cannot read it");
                break;
            }
            if (n == 0) break;
            have += static_cast<size_t>(n);
        }
        bytes.resize(have);
    }
    close(fd);
    return ok;
}

bool ReplacePage(const Path& path, std::string_view bytes, const Facts& facts, std::string& error) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "." + name + ".quorvane-XXXXXX";

    int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        error = SystemError("cannot create a file beside it");
        return false;
    }
    const char* step = nullptr;
    // The owner first: changing it would clear set-user-id and set-group-id bits set before.
    if (geteuid() == 0 && fchown(fd, facts.uid, facts.gid) != 0) step = "cannot give the new file its owner";
    else if (fchmod(fd, facts.mode) != 0) step = "cannot give the new file its permissions";
    else if (!WriteAll(fd, bytes)) step = "cannot write the new file";
    else if (fsync(fd) != 0) step = "cannot flush the new file to disk";
    if (close(fd) != 0 && !step) step = "cannot write the new file";
    if (!step && rename(temp.c_str(), path.c_str()) != 0) step = "cannot rename the new file over it";
    if (step) {
        error = SystemError(step);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

unsigned ProcessorCount() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<unsigned>(CPU_COUNT(&set));
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<unsigned>(n) : 1;
}

void RunThreads(unsigned threads, void (*body)(void*), void* context) {
    struct Call {
        void (*body)(void*);
        void* context;
    } call{body, context};
    auto start = [](void* c) -> void* {
        static_cast<Call*>(c)->body(static_cast<Call*>(c)->context);
        return nullptr;
    };
    SignalsHeld held;
    std::vector<pthread_t> started;
    for (unsigned i = 1; i < threads; ++i) {
        pthread_t t;
        if (pthread_create(&t, nullptr, start, &call) != 0) break;
        started.push_back(t);
    }
    body(context);
    for (pthread_t t : started) pthread_join(t, nullptr);
}

bool Interrupted() {
    sigset_t pending;
    if (sigpending(&pending) != 0) return false;
    for (int s : kTerminating) {
        // An ignored signal stays pending while it is held, and then goes without effect.
        struct sigaction action;
        if (sigismember(&pending, s) == 1 && sigaction(s, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) {
            return true;
        }
    }
    return false;
}

void Write(bool toError, std::string_view text) { fwrite(text.data(), 1, text.size(), toError ? stderr : stdout); }

void Flush() {
    fflush(stdout);
    fflush(stderr);
}

}  // namespace files
