// One page of a site command: opened as the walk found it, read within the memory budget, handed to the site library, and put back.
#ifndef QUORVANE_CLI_PAGEWORK_H
#define QUORVANE_CLI_PAGEWORK_H

#include "Flow.h"
#include "Site.h"
#include "Walk.h"

// Does `task` and marks it done, or leaves it not done, the page as it was,
// when the run stops first.
void DoPage(walk::Task& task, walk::Mode mode, walk::FolderCache& folders, Flow& flow);

// Memory a page may take while it is done: its bytes, and what the site
// library takes for it in the form asked (--check reads as the default form).
size_t PageNeed(size_t size, site::Form form);

#endif
