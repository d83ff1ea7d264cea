// The thin layer under the file steps: each call one or two system calls of POSIX or Windows, no decision of its own.
#ifndef QUORVANE_FILES_SYSTEM_H
#define QUORVANE_FILES_SYSTEM_H

#include <stddef.h>

#include <string>
#include <vector>

#include "Files.h"

namespace files {
namespace sys {

// How a call that may meet a vanished or taken name ended.
enum class Result {
    Ok,
    Gone,    // nothing of that name, or (not following links) a link or a non-folder where a folder was asked
    Taken,   // the name is in use: it exists already, or another run holds it
    Failed,  // anything else; Error() tells it
};

// `what`, a colon and the system's message for the last failed call; called
// right after it, before any other call can overwrite the error.
std::string Error(const char* what);

// A folder: by its path through links when `parent` is null, else by its
// name in `parent` and never through a link.
Result OpenFolderAt(const OpenFolder* parent, const Path& name, OpenFolder& folder);
// What an open handle is, and when `stamp` is given, its stamp.
bool LookAtHandle(Handle handle, Look& look, Stamp* stamp);
// What `name` in `folder` is, without opening it for reading (a FIFO's or a device's open could wait).
Result LookAtName(const OpenFolder& folder, const Path& name, bool followLink, Look& look, Stamp* stamp);
bool LookAtPath(const Path& path, bool followLink, Look& look);
// The entries of a folder, unsorted; `error` says why not.
bool ListFolder(const OpenFolder& folder, const Identity& id, std::vector<Entry>& entries, std::string& error);

// For reading, without blocking; Gone also for a link when not `followLink`.
Result OpenForReading(const OpenFolder& folder, const Path& name, bool followLink, Handle& handle);
bool OpenPathForReading(const Path& path, Handle& handle);
// Up to `size` bytes from where the handle stands; `got` 0 at the end.
bool ReadSome(Handle handle, char* into, size_t size, size_t& got);
bool Rewind(Handle handle);
void Close(Handle& handle);

// A new file, created exclusively and held so that another run cannot take
// it for a leftover (POSIX: an exclusive lock; Windows: opened unshared).
Result CreateHeld(const OpenFolder& folder, const Path& name, Handle& handle);
// What the system does not carry over by itself: on POSIX the owner, group,
// permissions and extended attributes of `from`; on Windows nothing, the
// replace keeps them.
bool KeepMetadata(Handle from, const Stamp& stamp, Handle to, std::string& error);
// What a new file of the tool's own gets that the held one lacks: on POSIX
// the permissions of the umask; on Windows the temporary attribute taken off.
bool MakeOrdinary(Handle handle, std::string& error);
bool WriteSome(Handle handle, const char* bytes, size_t size, size_t& wrote);
bool FlushToDisk(Handle handle);
// Puts the held new file `temporary` in the place of `name` and closes both
// handles; the order of closing and renaming is the system's (see each layer).
bool PutInPlace(const OpenFolder& folder, const Path& temporary, Handle& held, const Path& name, Handle& replaced,
                std::string& error);
// Gives the held new file `temporary` the name `name`, where no file may
// stand (Taken when one does), and closes its handle; on failure the new
// file is removed.
Result PutNew(const OpenFolder& folder, const Path& temporary, Handle& held, const Path& name, std::string& error);
// Removes the new file `temporary` and closes its handle.
void Discard(const OpenFolder& folder, const Path& temporary, Handle& held);

// A leftover held alone: Taken while a running writer holds it.
Result HoldAlone(const OpenFolder& folder, const Path& name, Handle& handle, std::string& error);
// Removes the held file `name` and closes its handle.
bool RemoveHeld(const OpenFolder& folder, const Path& name, Handle& handle, std::string& error);

// For temporary names: the process's number, and a clock as fine as the system has.
unsigned long long ProcessId();
unsigned long long Clock();

}  // namespace sys
}  // namespace files

#endif
