// A file opened as the walk found it, read within its size, and compared again before it is replaced.
#include <string.h>

#include <algorithm>

#include "Files.h"
#include "System.h"

namespace files {

namespace {

// The longest single read or write: a stop is looked at between them.
const size_t kStep = size_t(8) << 20;

// What the walk found is what is open: Changed when another file, a link or
// a folder stands there now; Failed for anything but a regular file.
Outcome Expected(const Look& look, const Identity& expected, std::string& error) {
    if (look.id != expected || look.kind == Kind::Link || look.kind == Kind::Folder) return Outcome::Changed;
    if (look.kind == Kind::File) return Outcome::Done;
    error = std::string("not a regular file but ") + look.other + "; not read";
    return Outcome::Failed;
}

// Reads `length` bytes on from where the handle stands (its start, for each
// caller here), `stop` looked at between steps when given; Changed when the
// file ends sooner.
Outcome ReadFully(Handle handle, char* bytes, size_t length, const std::atomic<bool>* stop, std::string& error) {
    for (size_t have = 0, got = 0; have < length; have += got) {
        if (stop && stop->load(std::memory_order_relaxed)) return Outcome::Stopped;
        if (!sys::ReadSome(handle, bytes + have, std::min(length - have, kStep), got)) {
            error = sys::Error("cannot read it");
            return Outcome::Failed;
        }
        if (got == 0) return Outcome::Changed;
    }
    return Outcome::Done;
}

}  // namespace

File::~File() { Close(); }

void File::Close() { sys::Close(handle_); }

Outcome File::Open(const Folder& folder, const Path& name, bool followLink, const Identity& expected,
                   std::string& error) {
    Close();
    // Looked at before the open, so that a device put in the file's place is
    // not opened at all; looked at again after it, for one swapped in between.
    Look look;
    sys::Result result = sys::LookAtName(folder.Open(), name, followLink, look, nullptr);
    if (result == sys::Result::Gone) return Outcome::Changed;
    if (result != sys::Result::Ok) return error = sys::Error("cannot look at it"), Outcome::Failed;
    const Outcome before = Expected(look, expected, error);
    if (before != Outcome::Done) return before;
    result = sys::OpenForReading(folder.Open(), name, followLink, handle_);
    if (result == sys::Result::Gone) return Outcome::Changed;
    if (result != sys::Result::Ok) return error = sys::Error("cannot open it"), Outcome::Failed;
    if (!sys::LookAtHandle(handle_, look, &stamp_)) return error = sys::Error("cannot look at it"), Outcome::Failed;
    return Expected(look, expected, error);
}

Outcome File::Read(char* bytes, std::string& error, const std::atomic<bool>& stop) {
    const Outcome outcome = ReadFully(handle_, bytes, static_cast<size_t>(stamp_.size), &stop, error);
    if (outcome != Outcome::Done) return outcome;
    // A byte past the size it had: it grew meanwhile.
    char more;
    size_t got = 0;
    if (!sys::ReadSome(handle_, &more, 1, got)) return error = sys::Error("cannot read it"), Outcome::Failed;
    return got == 0 ? Outcome::Done : Outcome::Changed;
}

Outcome File::ReadStart(char* bytes, size_t length, std::string& error) {
    const Outcome outcome = ReadFully(handle_, bytes, length, nullptr, error);
    // Read starts from the beginning again.
    if (outcome == Outcome::Done && !sys::Rewind(handle_)) return error = sys::Error("cannot read it"), Outcome::Failed;
    return outcome;
}

Outcome File::Unchanged(const Folder& folder, const Path& name, std::string_view read, std::string& error) {
    Look look;
    Stamp now, named;
    if (!sys::LookAtHandle(handle_, look, &now)) return error = sys::Error("cannot look at it"), Outcome::Failed;
    if (sys::LookAtName(folder.Open(), name, false, look, &named) != sys::Result::Ok || !now.SameAs(stamp_) ||
        !named.SameAs(stamp_)) {
        return Outcome::Changed;
    }
    // An edit within the clock's last tick can leave the times as they were; the bytes tell.
    if (!sys::Rewind(handle_)) return error = sys::Error("cannot read it again"), Outcome::Failed;
    char buffer[1 << 16];
    for (size_t at = 0, got = 0;; at += got) {
        if (!sys::ReadSome(handle_, buffer, sizeof buffer, got)) {
            error = sys::Error("cannot read it again");
            return Outcome::Failed;
        }
        if (got == 0) return at == read.size() ? Outcome::Done : Outcome::Changed;
        if (at + got > read.size() || memcmp(buffer, read.data() + at, got) != 0) return Outcome::Changed;
    }
}

Outcome ReadFileIn(const Folder& folder, const Path& name, size_t most, std::string& bytes, std::string& error) {
    Look look;
    const sys::Result looked = sys::LookAtName(folder.Open(), name, false, look, nullptr);
    if (looked == sys::Result::Gone) return Outcome::Changed;
    if (looked != sys::Result::Ok) return error = sys::Error("cannot look at it"), Outcome::Failed;
    if (look.kind != Kind::File) {
        error = std::string("not a regular file but ") + (look.kind == Kind::Link ? "a symbolic link" : look.kind == Kind::Folder
                                                               ? "a folder" : look.other);
        return Outcome::Failed;
    }
    File file;
    const Outcome opened = file.Open(folder, name, false, look.id, error);
    if (opened != Outcome::Done) return opened == Outcome::Changed ? (error = "it changed while it was read", Outcome::Failed) : opened;
    if (file.Stamped().size > most) return error = "larger than " + std::to_string(most) + " bytes", Outcome::Failed;
    bytes.assign(static_cast<size_t>(file.Stamped().size), '\0');
    const std::atomic<bool> never{false};
    const Outcome read = file.Read(&bytes[0], error, never);
    if (read == Outcome::Changed) error = "it changed while it was read";
    return read == Outcome::Done ? read : Outcome::Failed;
}

bool ReadNamedFile(const Named& named, std::string& bytes, std::string& error) {
    if (!named.error.empty()) return error = named.error, false;
    Handle handle = kNoHandle;
    if (!sys::OpenPathForReading(named.native, handle)) return error = sys::Error("cannot open it"), false;
    Look look;
    Stamp stamp;
    bool ok = sys::LookAtHandle(handle, look, &stamp) && look.kind == Kind::File && stamp.size <= kMostNamedFileBytes;
    if (!ok) error = "not a regular file of up to " + std::to_string(kMostNamedFileBytes >> 20) + " MiB";
    bytes.assign(ok ? static_cast<size_t>(stamp.size) : 0, '\0');
    if (ok) {
        const Outcome read = ReadFully(handle, &bytes[0], bytes.size(), nullptr, error);
        if (read == Outcome::Changed) error = "it changed while it was read";
        ok = read == Outcome::Done;
    }
    sys::Close(handle);
    return ok;
}

}  // namespace files
