// The file system as the site commands need it: whole-file reads, folder listings and safe in-place replacement, for POSIX and for Windows.
#ifndef QUORVANE_CLI_FILES_H
#define QUORVANE_CLI_FILES_H

#include <stddef.h>

#include <string>
#include <string_view>
#include <vector>

namespace files {

// A path as the system takes it: bytes on POSIX; UTF-16 on Windows, made
// absolute and given the \\?\ prefix so that no length limit applies.
#ifdef _WIN32
using Path = std::wstring;
#else
using Path = std::string;
#endif

enum class Kind { File, Folder, Link, Other };

// A path named on the command line: the system's form, and the UTF-8 text to
// print (the argument as typed); `error` says why when it cannot be a path.
struct Named {
    Path native;
    std::string shown;
    std::string error;
};
// The arguments from argv[first] on. False when the command line cannot be read.
bool ArgumentPaths(int argc, char** argv, int first, std::vector<Named>& named, std::string& error);

// The entry `name` (UTF-8 for printing in `shown`) of a folder.
struct Entry {
    Path name;
    std::string shown;
    Kind kind;
};

// The separator to print between a folder and a name, and the two joins.
extern const char kShownSeparator;
Path Join(const Path& folder, const Path& name);

// What a path names; `followLink` looks through a symbolic link (and on
// Windows a junction) at what it points to. False with `error` set when it
// names nothing or cannot be looked at.
bool Classify(const Path& path, bool followLink, Kind& kind, std::string& error);

// The folder's entries in byte order of their UTF-8 names, "." and ".."
// left out; a link or junction comes back as Kind::Link, never followed.
bool ListFolder(const Path& folder, std::vector<Entry>& entries, std::string& error);

// What replacing a file has to keep, found while reading it.
struct Facts {
    unsigned long links = 1;
#ifndef _WIN32
    unsigned mode = 0;
    unsigned uid = 0;
    unsigned gid = 0;
#endif
};

// The whole file in one read, into `bytes` (whose memory is reused from call
// to call).
bool ReadPage(const Path& path, std::string& bytes, Facts& facts, std::string& error);

// Writes `bytes` to a new file beside `path`, flushes it to disk and puts it
// in the place of `path` in one step, keeping the permissions (and on POSIX,
// when run as root, the owner). On failure the original is as it was and
// the new file is gone.
bool ReplacePage(const Path& path, std::string_view bytes, const Facts& facts, std::string& error);

// Processors this process may run on (at least 1).
unsigned ProcessorCount();

// Runs body(context) on `threads` threads at once, the caller's among them,
// and returns when all have returned; on fewer when the system refuses more.
// On POSIX the terminating signals are held back meanwhile, so that none
// cuts a replacement short; one that comes acts when all have returned.
void RunThreads(unsigned threads, void (*body)(void*), void* context);

// True when a terminating signal waits for RunThreads to return (POSIX):
// the threads then take no more pages. Always false on Windows.
bool Interrupted();

// UTF-8 text to standard output or error. On Windows a console gets it as
// wide characters, so that any name shows whatever the console code page;
// a pipe or a file gets the UTF-8 bytes.
void Write(bool toError, std::string_view text);
void Flush();

}  // namespace files

#endif
