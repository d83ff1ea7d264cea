// Folders opened by path or from the folder above, each checked to be a folder, and listed in the order the listing prints.
#include <algorithm>

#include "Files.h"
#include "System.h"

namespace files {

bool LookAt(const Path& path, bool followLink, Look& look, std::string& error) {
    if (sys::LookAtPath(path, followLink, look)) return true;
    error = sys::Error("cannot look at it");
    return false;
}

Folder::~Folder() { Close(); }
Folder::Folder(Folder&& other) noexcept : open_(std::move(other.open_)), id_(other.id_) { other.open_.handle = kNoHandle; }
Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        Close();
        open_ = std::move(other.open_), id_ = other.id_;
        other.open_.handle = kNoHandle;
    }
    return *this;
}

void Folder::Close() { sys::Close(open_.handle); }

// Held open while the folder is in use; the identity is checked by the caller against the walk's.
Outcome Folder::Opened(const OpenFolder* parent, const Path& name, std::string& error) {
    Close();
    const sys::Result opened = sys::OpenFolderAt(parent, name, open_);
    if (opened == sys::Result::Gone) return Outcome::Changed;
    if (opened != sys::Result::Ok) {
        error = sys::Error("cannot open the folder");
        return Outcome::Failed;
    }
    Look look;
    if (!sys::LookAtHandle(open_.handle, look, nullptr)) {
        error = sys::Error("cannot look at the folder");
        return Outcome::Failed;
    }
    id_ = look.id;
    return look.kind == Kind::Folder ? Outcome::Done : Outcome::Changed;
}

Outcome Folder::OpenPath(const Path& path, std::string& error) { return Opened(nullptr, path, error); }

Outcome Folder::OpenChild(const Folder& parent, const Path& name, std::string& error) {
    return Opened(&parent.open_, name, error);
}

bool Folder::List(std::vector<Entry>& entries, std::string& error) const {
    entries.clear();
    if (!sys::ListFolder(open_, id_, entries, error)) return false;
    // UTF-8 byte order on every system (on POSIX the names themselves).
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.shown < b.shown; });
    return true;
}

}  // namespace files
