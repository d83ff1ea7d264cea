// Walks the PATHs of a site command into tasks, one per file, in the order the listing prints them.
#include "Walk.h"

#include <algorithm>

namespace walk {

namespace {

// A name that a listing leaves out unless asked: a web server publishes it all the same.
bool IsHidden(const std::string& name) { return !name.empty() && name[0] == '.'; }

std::string Prefix(const std::string& folder) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == files::kShownSeparator)) return folder;
    return folder + files::kShownSeparator;
}

}  // namespace

const char kMoved[] = "it was moved, removed or replaced during the run (its folder or the file); not done";

const files::Folder* FolderCache::Open(size_t index, files::Outcome& outcome, std::string& error) {
    // The folders from `index` up to one open already or a top one.
    std::vector<size_t> chain;
    const files::Folder* from = nullptr;
    for (size_t at = index;; at = folders_[at].parent) {
        auto open = std::find_if(open_.begin(), open_.end(), [at](const auto& o) { return o.first == at; });
        if (open != open_.end() && at == index) {
            std::rotate(open, open + 1, open_.end());
            return &open_.back().second;
        }
        if (open != open_.end()) {
            from = &open->second;
            break;
        }
        chain.push_back(at);
        if (folders_[at].parent == kNone) break;
    }
    // Down from there one folder at a time, each closed once the next is open,
    // so that a deep tree takes no more descriptors than a flat one.
    files::Folder current;
    for (auto at = chain.rbegin(); at != chain.rend(); ++at) {
        const FolderRecord& record = folders_[*at];
        const files::Folder* parent = at == chain.rbegin() ? from : &current;
        files::Folder next;
        outcome = parent ? next.OpenChild(*parent, record.name, error) : next.OpenPath(record.name, error);
        if (outcome == files::Outcome::Done && next.Id() != record.id) outcome = files::Outcome::Changed;
        if (outcome != files::Outcome::Done) return nullptr;
        current = std::move(next);
    }
    return Keep(index, std::move(current));
}

const files::Folder* FolderCache::Keep(size_t index, files::Folder folder) {
    const size_t kOpenAtMost = 8;
    if (open_.size() == kOpenAtMost) open_.erase(open_.begin());
    open_.emplace_back(index, std::move(folder));
    return &open_.back().second;
}

void Walker::Named(const files::Named& named) {
    const std::string& shown = named.shown;
    files::Look look, own, folderLook;
    files::Path folderPath, name;
    std::string error;
    if (!named.error.empty()) return NewTask(shown).report.Error(shown, named.error);
    if (!files::LookAt(named.native, true, look, error)) return NewTask(shown).report.Error(shown, error);
    if (look.kind == files::Kind::Folder) {
        if (walked_.insert(look.id).second) Tree(TopFolder(named.native, look.id), shown);
        return;
    }
    if (look.kind != files::Kind::File) {
        return NewTask(shown).report.Error(shown, std::string("neither a regular file nor a folder but ") + look.other +
                                                      "; not read");
    }
    if (!files::LookAt(named.native, false, own, error)) return NewTask(shown).report.Error(shown, error);
    // A file named through a link is only listed, never replaced: it does not stand for the file itself.
    const bool throughLink = own.kind == files::Kind::Link;
    if (!throughLink && !files_.insert(look.id).second) return;
    files::SplitPath(named.native, folderPath, name);
    if (!files::LookAt(folderPath, true, folderLook, error)) return NewTask(shown).report.Error(shown, error);
    Task& task = NewTask(shown);
    task.folder = TopFolder(folderPath, folderLook.id);
    task.name = name;
    task.id = look.id;
    task.throughLink = throughLink;
    task.done = false;
}

void Walker::Tree(size_t root, const std::string& rootShown) {
    std::vector<std::pair<size_t, std::string>> pending{{root, rootShown}}, subfolders;
    std::vector<files::Folder::Entry> entries;
    while (!pending.empty() && !stop_.load()) {
        auto [index, shown] = std::move(pending.back());
        pending.pop_back();
        files::Outcome outcome;
        std::string error;
        const files::Folder* folder = cache_.Open(index, outcome, error);
        if (!folder || !folder->List(entries, error)) {
            NewTask(shown).report.Error(shown, folder || outcome == files::Outcome::Failed ? error : kMoved);
            continue;
        }
        const std::string prefix = Prefix(shown);
        subfolders.clear();
        for (const files::Folder::Entry& e : entries) Entry(index, *folder, e, prefix + e.shown, subfolders);
        pending.insert(pending.end(), subfolders.rbegin(), subfolders.rend());
    }
}

void Walker::Entry(size_t folder, const files::Folder& open, const files::Folder::Entry& e, const std::string& shown,
                   std::vector<std::pair<size_t, std::string>>& subfolders) {
    switch (e.look.kind) {
        case files::Kind::Folder:
            if (walked_.insert(e.look.id).second) {
                folders_.push_back({folder, e.name, e.look.id, folders_[folder].hidden || IsHidden(e.shown)});
                subfolders.emplace_back(folders_.size() - 1, shown);
            }
            return;
        case files::Kind::Link: {
            // Never followed inside a folder: it could lead outside the PATHs given, or in a circle.
            Task& task = NewTask(shown);
            ++task.report.totals.links;
            task.report.Say(shown, "a symbolic link, not followed, so that nothing outside the PATHs given is read; "
                                   "name its target to take it");
            return;
        }
        case files::Kind::Other:
            NewTask(shown).report.Error(shown, std::string("not a regular file but ") + e.look.other + "; not read");
            return;
        case files::Kind::File:
            if (files::IsTemporaryName(e.name)) return Leftover(open, e.name, shown);
            if (!files_.insert(e.look.id).second) return;
            Task& task = NewTask(shown);
            task.folder = folder;
            task.name = e.name;
            task.id = e.look.id;
            task.hidden = folders_[folder].hidden || IsHidden(e.shown);
            task.done = false;
            return;
    }
}

// A temporary file that a killed run left would otherwise go out with the site.
void Walker::Leftover(const files::Folder& open, const files::Path& name, const std::string& shown) {
    if (mode_ == Mode::Check) return;
    Report& report = NewTask(shown).report;
    if (mode_ == Mode::DryRun) return report.Say(shown, "a temporary file left by a stopped run; --protect removes it");
    std::string error;
    const files::Outcome outcome = files::RemoveLeftover(open, name, error);
    if (outcome == files::Outcome::Done) report.Say(shown, "removed, a temporary file left by a stopped run");
    // Stopped: a run going on now holds it.
    if (outcome == files::Outcome::Failed) report.Error(shown, "a temporary file left by a stopped run, not removed: " + error);
}

size_t Walker::TopFolder(const files::Path& path, const files::Identity& id) {
    auto known = topFolders_.find(path);
    if (known != topFolders_.end() && folders_[known->second].id == id) return known->second;
    folders_.push_back({kNone, path, id});
    return topFolders_[path] = folders_.size() - 1;
}

Task& Walker::NewTask(const std::string& shown) {
    tasks_.emplace_back();
    tasks_.back().shown = shown;
    tasks_.back().done = true;
    return tasks_.back();
}

}  // namespace walk
