// Replacing a file, the same steps on every system: a held temporary file beside it, renamed over it only while it is unchanged; the tool's own files written the same way; and a killed run's leftovers removed.
#include <algorithm>

#include "Files.h"
#include "System.h"
#include "TemporaryName.h"

namespace files {

namespace {

// A name not taken yet most likely: the process, the time and a count, mixed.
unsigned long long Seed(unsigned attempt) {
    static std::atomic<unsigned long long> count{0};
    return (sys::ProcessId() << 40) ^ sys::Clock() ^ (count++ * 0x9E3779B97F4A7C15ULL) ^ attempt;
}

// The new file from its creation to its rename. The states, and what each promise rests on:
//   Created  a file of a name no one else has (created exclusively, never
//            through a link), in the file's own folder, so that the rename
//            stays on one volume; held (POSIX: an exclusive lock; Windows:
//            open unshared), so that another run does not take it for a
//            killed run's leftover, which no one holds.
//   Kept     it has what the rename would lose: on POSIX the file's owner,
//            group, permissions and extended attributes (ACLs, security
//            labels); Windows' replace keeps attributes and security itself.
//   Written  all the new bytes, then flushed to the disk, so that a crash
//            after the rename finds the new file whole, never empty.
//   Checked  the file did not change since it was read: the open file and
//            the name in the folder have the stamp of the read (file ID,
//            size, modification and change times), and its bytes compare
//            equal with those read (an edit within the clock's tick).
//   Renamed  the rename within one folder is atomic: a reader of the name
//            finds the old file or the new one, never a mix or nothing.
// Every way out before Renamed (a stop, a change, a failure) removes the
// new file, and the file stays as it is.
class Replacement {
public:
    explicit Replacement(const Folder& folder) : folder_(folder.Open()) {}
    ~Replacement() {
        if (held_ != kNoHandle) sys::Discard(folder_, name_, held_);
    }

    bool Create(std::string& error) {
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            const std::string name = MakeTemporaryName(Seed(attempt));
            name_.assign(name.begin(), name.end());  // ASCII only
            const sys::Result created = sys::CreateHeld(folder_, name_, held_);
            if (created == sys::Result::Ok) return true;
            if (created != sys::Result::Taken) break;
        }
        error = sys::Error("cannot create a file beside it");
        return false;
    }

    bool Keep(Handle from, const Stamp& stamp, std::string& error) { return sys::KeepMetadata(from, stamp, held_, error); }

    Outcome Write(std::string_view bytes, const std::atomic<bool>& stop, std::string& error) {
        while (!bytes.empty() && !stop.load(std::memory_order_relaxed)) {
            size_t wrote = 0;
            if (!sys::WriteSome(held_, bytes.data(), std::min(bytes.size(), size_t(8) << 20), wrote) || wrote == 0) {
                error = sys::Error("cannot write the new file");
                return Outcome::Failed;
            }
            bytes.remove_prefix(wrote);
        }
        if (stop.load()) return Outcome::Stopped;
        if (!sys::FlushToDisk(held_)) return error = sys::Error("cannot flush the new file to disk"), Outcome::Failed;
        return Outcome::Done;
    }

    bool Rename(const Path& name, Handle& replaced, std::string& error) {
        return sys::PutInPlace(folder_, name_, held_, name, replaced, error);
    }

    // A file of the tool's own where there was none: as ordinary as any new
    // file, and never put over one that came meanwhile.
    Outcome PlaceNew(const Path& name, std::string& error) {
        const sys::Result placed = sys::PutNew(folder_, name_, held_, name, error);
        return placed == sys::Result::Ok ? Outcome::Done : placed == sys::Result::Taken ? Outcome::Changed : Outcome::Failed;
    }
    bool MakeOrdinary(std::string& error) { return sys::MakeOrdinary(held_, error); }

private:
    const OpenFolder& folder_;
    Path name_;
    Handle held_ = kNoHandle;
};

}  // namespace

Outcome ReplaceFile(const Folder& folder, const Path& name, File& file, std::string_view read, std::string_view bytes,
                    const std::atomic<bool>& stop, std::string& error) {
    Replacement replacement(folder);
    if (!replacement.Create(error) || !replacement.Keep(file.handle_, file.Stamped(), error)) return Outcome::Failed;
    const Outcome written = replacement.Write(bytes, stop, error);
    if (written != Outcome::Done) return written;
    const Outcome unchanged = file.Unchanged(folder, name, read, error);
    if (unchanged != Outcome::Done) return unchanged;
    if (stop.load()) return Outcome::Stopped;
    return replacement.Rename(name, file.handle_, error) ? Outcome::Done : Outcome::Failed;
}

Outcome WriteOwnFile(const Folder& folder, const Path& name, const std::string* before, std::string_view bytes,
                     std::string& error) {
    const std::atomic<bool> never{false};
    if (!before) {
        Replacement replacement(folder);
        if (!replacement.Create(error) || !replacement.MakeOrdinary(error)) return Outcome::Failed;
        const Outcome written = replacement.Write(bytes, never, error);
        return written == Outcome::Done ? replacement.PlaceNew(name, error) : written;
    }
    if (*before == bytes) return Outcome::Done;
    Look look;
    const sys::Result looked = sys::LookAtName(folder.Open(), name, false, look, nullptr);
    if (looked == sys::Result::Gone) return Outcome::Changed;
    if (looked != sys::Result::Ok) return error = sys::Error("cannot look at it"), Outcome::Failed;
    File file;
    const Outcome opened = file.Open(folder, name, false, look.id, error);
    if (opened != Outcome::Done) return opened;
    if (file.Stamped().links > 1) {
        error = "it has " + std::to_string(file.Stamped().links) + " hard links, which replacing it would split";
        return Outcome::Failed;
    }
    // What ReplaceFile compares before the rename: the file as it was read, which must be `before`.
    if (file.Stamped().size != before->size()) return Outcome::Changed;
    return ReplaceFile(folder, name, file, *before, bytes, never, error);
}

bool IsTemporaryName(const Path& name) {
    if (std::any_of(name.begin(), name.end(), [](auto c) { return c == 0 || static_cast<unsigned long>(c) > 127; })) {
        return false;
    }
    return IsOwnTemporaryName(std::string(name.begin(), name.end()));
}

// Held alone first: a file that a running writer holds is left to it. Then
// the name must still be that file, not one renamed in meanwhile.
Outcome RemoveLeftover(const Folder& folder, const Path& name, std::string& error) {
    Handle handle = kNoHandle;
    const sys::Result held = sys::HoldAlone(folder.Open(), name, handle, error);
    if (held != sys::Result::Ok) return held == sys::Result::Taken ? Outcome::Stopped : Outcome::Failed;
    Look mine, named;
    if (!sys::LookAtHandle(handle, mine, nullptr) ||
        sys::LookAtName(folder.Open(), name, false, named, nullptr) != sys::Result::Ok || named.id != mine.id) {
        sys::Close(handle);
        return Outcome::Stopped;
    }
    return sys::RemoveHeld(folder.Open(), name, handle, error) ? Outcome::Done : Outcome::Failed;
}

}  // namespace files
