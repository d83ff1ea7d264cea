// The walk over a site command's PATHs: which files it takes, and each with the folders above it as the walk found them, so that the work reopens just those.
#ifndef QUORVANE_FILES_WALK_H
#define QUORVANE_FILES_WALK_H

#include <stddef.h>

#include <atomic>
#include <deque>
#include <map>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Files.h"
#include "Listing.h"

namespace walk {

enum class Mode { Protect, DryRun, Check };

constexpr size_t kNone = static_cast<size_t>(-1);

// The error line for a file whose folder or itself is no longer the one the walk found.
extern const char kMoved[];

// A folder the walk opened: a top one (named, or the folder of a named file)
// by its path, any other by its name in the folder above.
struct FolderRecord {
    size_t parent = kNone;
    files::Path name;
    files::Identity id;
    bool hidden = false;  // it or a folder above it, below the PATH, has a name starting with "."
};

// One line of work in walk order. A task without a folder is done already:
// the walk put all there is to say into its report.
struct Task {
    size_t folder = kNone;
    files::Path name;
    files::Identity id;
    std::string shown;
    bool throughLink = false;
    bool hidden = false;  // in a hidden folder, or a hidden file itself
    bool done = false;
    Report report;
};

// The folders of a walk, opened again from the top one down, each checked
// to be the one the walk found; the last few stay open.
class FolderCache {
public:
    explicit FolderCache(const std::deque<FolderRecord>& folders) : folders_(folders) {}
    // Null with `outcome` Changed (moved, removed or replaced) or Failed (with `error`).
    const files::Folder* Open(size_t index, files::Outcome& outcome, std::string& error);

private:
    const files::Folder* Keep(size_t index, files::Folder folder);

    const std::deque<FolderRecord>& folders_;
    std::vector<std::pair<size_t, files::Folder>> open_;  // the most recently used last
};

class Walker {
public:
    Walker(Mode mode, const std::atomic<bool>& stop) : mode_(mode), stop_(stop), cache_(folders_) {}

    // Walks one PATH of the command line; what it names is followed, as grep -r does.
    void Named(const files::Named& named);

    std::deque<FolderRecord>& Folders() { return folders_; }
    std::deque<Task>& Tasks() { return tasks_; }

private:
    struct IdentityHash {
        size_t operator()(const files::Identity& id) const { return std::hash<unsigned long long>()(id.index ^ (id.volume << 40)); }
    };

    // Files before subfolders, each in name order; an explicit stack, since
    // a folder tree may be deeper than the call stack allows.
    void Tree(size_t root, const std::string& rootShown);
    void Entry(size_t folder, const files::Folder& open, const files::Folder::Entry& e, const std::string& shown,
               std::vector<std::pair<size_t, std::string>>& subfolders);
    void Leftover(const files::Folder& open, const files::Path& name, const std::string& shown);
    size_t TopFolder(const files::Path& path, const files::Identity& id);
    Task& NewTask(const std::string& shown);

    Mode mode_;
    const std::atomic<bool>& stop_;
    std::deque<FolderRecord> folders_;
    std::deque<Task> tasks_;
    FolderCache cache_;
    std::map<files::Path, size_t> topFolders_;
    // What was taken already: a file or folder named twice, or a file with two hard links, is done once.
    std::unordered_set<files::Identity, IdentityHash> files_, walked_;
};

}  // namespace walk

#endif
