// The names of the new files that --protect writes beside a file: made and recognised in one place for both systems.
#ifndef QUORVANE_FILES_TEMPORARYNAME_H
#define QUORVANE_FILES_TEMPORARYNAME_H

#include <string>
#include <string_view>

namespace files {

// ".quorvane-" and twelve letters or digits and ".tmp": eight from `seed`,
// four that check them, so that a file that merely looks like one of these
// (a user's ".quorvane-abcd1234.tmp") is never taken for a leftover.
std::string MakeTemporaryName(unsigned long long seed);

// True for a name that MakeTemporaryName makes, its check letters and all.
bool IsOwnTemporaryName(std::string_view name);

}  // namespace files

#endif
