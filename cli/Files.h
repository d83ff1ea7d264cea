// The file system as the site commands need it: folders opened from the folder above, pages opened without blocking and read within their size, replaced only while unchanged; for POSIX and for Windows.
#ifndef QUORVANE_CLI_FILES_H
#define QUORVANE_CLI_FILES_H

#include <stddef.h>

#include <atomic>
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

// Which file or folder: device and inode (on Windows volume serial number and file index).
struct Identity {
    unsigned long long volume = 0;
    unsigned long long index = 0;
    bool operator==(const Identity& other) const { return volume == other.volume && index == other.index; }
    bool operator!=(const Identity& other) const { return !(*this == other); }
};

// A path named on the command line: the system's form, and the UTF-8 text to
// print (the argument as typed); `error` says why when it cannot be a path.
struct Named {
    Path native;
    std::string shown;
    std::string error;
};
// The arguments from argv[first] on. False when the command line cannot be read.
bool ArgumentPaths(int argc, char** argv, int first, std::vector<Named>& named, std::string& error);

// A small file named on the command line (a list the user keeps), whole;
// false with `error` when it cannot be read or holds more than 16 MiB.
bool ReadNamedFile(const Named& named, std::string& bytes, std::string& error);

// What a path or a folder's entry is. `other` names a Kind::Other ("a FIFO", "a socket", "a device").
struct Look {
    Kind kind = Kind::Other;
    Identity id;
    const char* other = "";
};
// What `path` names, through a link when `followLink`. False with `error` set when it names nothing.
bool LookAt(const Path& path, bool followLink, Look& look, std::string& error);

// The folder of a path named on the command line, and the name in it.
void SplitPath(const Path& path, Path& folder, Path& name);

// The separator to print between a folder and a name.
extern const char kShownSeparator;

enum class Outcome { Done, Changed, Stopped, Failed };

// An open folder. One named on the command line is opened by its path,
// through links as grep -r does; any other from the open folder above it and
// never through a link (or junction), so that a folder swapped for a link
// during the run is not followed.
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // Changed when there is no folder of that name any more, or a link in its place.
    Outcome OpenPath(const Path& path, std::string& error);
    Outcome OpenChild(const Folder& parent, const Path& name, std::string& error);
    const Identity& Id() const { return id_; }

    // An entry: its name, that name as UTF-8 for printing (Windows names that
    // are not valid UTF-16 come out as bytes that are not UTF-8), and what it
    // is, a link never followed.
    struct Entry {
        Path name;
        std::string shown;
        Look look;
    };
    // Every entry but "." and "..", in byte order of the UTF-8 names.
    bool List(std::vector<Entry>& entries, std::string& error) const;

private:
    friend class Page;
    friend class Replacement;
    friend Outcome RemoveLeftover(const Folder& folder, const Path& name, std::string& error);
    void Close();
#ifdef _WIN32
    Outcome Opened(bool followLink, std::string& error);
    Path path_;
    void* handle_ = nullptr;
#else
    Outcome Opened(std::string& error);
    int fd_ = -1;
#endif
    Identity id_;
};

// What tells that a page changed since it was read, and what its replacement has to keep.
struct Stamp {
    Identity id;
    unsigned long long size = 0;
    long long modified = 0;  // nanoseconds (on Windows 100 ns units) since the system's epoch
    long long changed = 0;   // the inode's change time (on Windows the change time)
    unsigned long links = 1;
#ifndef _WIN32
    unsigned mode = 0;
    unsigned uid = 0;
    unsigned gid = 0;
#endif
    bool SameAs(const Stamp& other) const {
        return id == other.id && size == other.size && modified == other.modified && changed == other.changed;
    }
};

// A page open for reading.
class Page {
public:
    Page() = default;
    ~Page();
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    // Opens `name` in `folder` without blocking and, unless `followLink`,
    // not through a link. Failed with `error` when it is not a regular file
    // (a FIFO or a device is never opened for reading). Changed when it is
    // not `expected`, the file the walk found.
    Outcome Open(const Folder& folder, const Path& name, bool followLink, const Identity& expected, std::string& error);
    const Stamp& Stamped() const { return stamp_; }

    // Reads the page's Stamped().size bytes into `bytes`, checking `stop`
    // between steps. Changed when it holds more or fewer.
    Outcome Read(char* bytes, std::string& error, const std::atomic<bool>& stop);
    // Reads its first `length` bytes (no more than it holds), which tell
    // its kind, and leaves Read to start from the beginning all the same.
    Outcome ReadStart(char* bytes, size_t length, std::string& error);

    // Done when the page under `name` in `folder` is still this one, with
    // the same size, times and bytes as `read`; Changed when not.
    Outcome Unchanged(const Folder& folder, const Path& name, std::string_view read, std::string& error);
    void Close();

private:
    friend class Replacement;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    Stamp stamp_;
};

// Writes `bytes` to a new file in `folder`, named .quorvane-XXXXXXXX.tmp
// whatever the page's name, with the page's permissions (POSIX: also owner
// and extended attributes, so ACLs and security labels), flushes it to disk,
// and renames it over `name` if the page is still as `page` read it
// (`read` its bytes): Changed when not, and Stopped when `stop` comes first;
// then the new file goes and the page stays as it is.
Outcome ReplacePage(const Folder& folder, const Path& name, Page& page, std::string_view read, std::string_view bytes,
                    const std::atomic<bool>& stop, std::string& error);

// True for the names of ReplacePage's new files.
bool IsTemporaryName(const Path& name);
// Removes the temporary file `name` of an earlier run, if no running one
// has it open: Done when removed, Stopped when in use (left alone).
Outcome RemoveLeftover(const Folder& folder, const Path& name, std::string& error);

#ifdef _WIN32
// `what`, a colon and the system's message for the error `code`.
std::string WindowsError(const char* what, unsigned long code);
#endif

// UTF-8 text to standard output or error. On Windows a console gets it as
// wide characters, so that any name shows whatever the console code page;
// a pipe or a file gets the UTF-8 bytes.
void Write(bool toError, std::string_view text);
// False when standard output could not take what was written.
bool Flush();

}  // namespace files

#endif
