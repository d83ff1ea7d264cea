// The file system as the site commands need it: folders opened from the folder above, files opened without blocking and read within their size, replaced only while unchanged; the same steps for POSIX and Windows.
#ifndef QUORVANE_FILES_FILES_H
#define QUORVANE_FILES_FILES_H

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
using Handle = void*;  // a HANDLE
#else
using Path = std::string;
using Handle = int;  // a file descriptor
#endif
// No handle: -1 on POSIX, null on Windows (INVALID_HANDLE_VALUE is never kept).
extern const Handle kNoHandle;

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

// The most that ReadNamedFile takes.
constexpr size_t kMostNamedFileBytes = size_t(16) << 20;
// A small file named on the command line (a list the user keeps), whole;
// false with `error` when it cannot be read or holds more than kMostNamedFileBytes.
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

// A folder held open: its handle and, on Windows, where the names in it are
// opened by path, its path.
struct OpenFolder {
    Handle handle = kNoHandle;
#ifdef _WIN32
    Path path;
#endif
};

// An entry of a folder: its name, that name as UTF-8 for printing (Windows
// names that are not valid UTF-16 come out as bytes that are not UTF-8), and
// what it is, a link never followed.
struct Entry {
    Path name;
    std::string shown;
    Look look;
};

// An open folder. One named on the command line is opened by its path,
// through links as grep -r does; any other from the open folder above it and
// never through a link (or junction), so that a folder swapped for a link
// during the run is not followed.
class Folder {
public:
    using Entry = files::Entry;
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
    const OpenFolder& Open() const { return open_; }

    // Every entry but "." and "..", in byte order of the UTF-8 names.
    bool List(std::vector<Entry>& entries, std::string& error) const;

private:
    Outcome Opened(const OpenFolder* parent, const Path& name, std::string& error);
    void Close();
    OpenFolder open_;
    Identity id_;
};

// What tells that a file changed since it was read, and what its replacement has to keep.
struct Stamp {
    Identity id;
    unsigned long long size = 0;
    long long modified = 0;  // nanoseconds (on Windows 100 ns units) since the system's epoch
    long long changed = 0;   // the inode's change time (on Windows the change time)
    unsigned long links = 1;
    unsigned mode = 0;  // POSIX only: permissions, owner and group
    unsigned uid = 0;
    unsigned gid = 0;
    bool SameAs(const Stamp& other) const {
        return id == other.id && size == other.size && modified == other.modified && changed == other.changed;
    }
};

// A file open for reading.
class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens `name` in `folder` without blocking and, unless `followLink`,
    // not through a link. Failed with `error` when it is not a regular file
    // (a FIFO or a device is never opened for reading). Changed when it is
    // not `expected`, the file the walk found.
    Outcome Open(const Folder& folder, const Path& name, bool followLink, const Identity& expected, std::string& error);
    const Stamp& Stamped() const { return stamp_; }

    // Reads the file's Stamped().size bytes into `bytes`, checking `stop`
    // between steps. Changed when it holds more or fewer.
    Outcome Read(char* bytes, std::string& error, const std::atomic<bool>& stop);
    // Reads its first `length` bytes (no more than it holds), which tell
    // its kind, and leaves Read to start from the beginning all the same.
    Outcome ReadStart(char* bytes, size_t length, std::string& error);

    // Done when the file under `name` in `folder` is still this one, with
    // the same size, times and bytes as `read`; Changed when not.
    Outcome Unchanged(const Folder& folder, const Path& name, std::string_view read, std::string& error);
    void Close();

private:
    friend Outcome ReplaceFile(const Folder&, const Path&, File&, std::string_view, std::string_view,
                               const std::atomic<bool>&, std::string&);
    Handle handle_ = kNoHandle;
    Stamp stamp_;
};

// Writes `bytes` to a new file in `folder`, named .quorvane-XXXXXXXXXXXX.tmp
// whatever the file's name, with the file's permissions (POSIX: also owner
// and extended attributes, so ACLs and security labels), flushes it to disk,
// and renames it over `name` if the file is still as `file` read it
// (`read` its bytes): Changed when not, and Stopped when `stop` comes first;
// then the new file goes and the file stays as it is.
Outcome ReplaceFile(const Folder& folder, const Path& name, File& file, std::string_view read, std::string_view bytes,
                    const std::atomic<bool>& stop, std::string& error);

// The whole of the regular file `name` in `folder`, never through a link,
// if it holds at most `most` bytes: Done; Changed when there is no file of
// that name; Failed, with `error`, when it is anything else or cannot be read.
Outcome ReadFileIn(const Folder& folder, const Path& name, size_t most, std::string& bytes, std::string& error);

// Makes `name` in `folder` hold `bytes`: a file of the tool's own, not one
// of the files a run reads. The same steps as ReplaceFile, through a new file
// flushed to disk and renamed into place. With `before` null there must be no
// file of that name, and a new one gets the permissions a new file gets
// (POSIX: as the umask allows); otherwise the regular file there must hold
// `*before`, and it keeps its permissions, owner and attributes. Changed when
// the name is not as expected, up to the rename. A file that holds `bytes`
// already is not written.
Outcome WriteOwnFile(const Folder& folder, const Path& name, const std::string* before, std::string_view bytes,
                     std::string& error);

// `size` bytes from the system's random source (getrandom or /dev/urandom;
// on Windows RtlGenRandom); false with `error` when it gives none.
bool RandomBytes(char* into, size_t size, std::string& error);

// True for the names of ReplaceFile's new files.
bool IsTemporaryName(const Path& name);
// Removes the temporary file `name` of an earlier run, if no running one
// has it open: Done when removed, Stopped when in use (left alone).
Outcome RemoveLeftover(const Folder& folder, const Path& name, std::string& error);

}  // namespace files

#endif
