// One file of a site command: opened as the walk found it, read within the memory budget, handed to the site library, and put back.
#ifndef QUORVANE_CLI_FILEWORK_H
#define QUORVANE_CLI_FILEWORK_H

#include <string>
#include <unordered_set>
#include <vector>

#include "Flow.h"
#include "Site.h"
#include "Walk.h"

// What the site library is asked for every file; set before the threads start.
struct SiteOptions {
    // Addresses known to be public (--accept), in lower case.
    std::unordered_set<std::string> accepted;
    // The form of --protect.
    site::Form form = site::Form::kReferences;
    // For the strong form: the setting of each folder of the walk, by its
    // index; each page's refers to the decoder at the top of its PATH.
    std::vector<const site::StrongSetting*> strong;
    bool Accepted(const std::string& address) const;
};

// Does `task` and marks it done, or leaves it not done, the file as it was,
// when the run stops first.
void DoFile(walk::Task& task, walk::Mode mode, const SiteOptions& options, walk::FolderCache& folders, Flow& flow);

// Memory a file may take while it is done: its bytes, and what the site
// library takes for it in the form asked (--check reads as the default form).
size_t FileNeed(size_t size, site::Form form);

#endif
