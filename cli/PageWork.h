// One page of a site command: opened as the walk found it, read within the memory budget, handed to the site library, and put back.
#ifndef QUORVANE_CLI_PAGEWORK_H
#define QUORVANE_CLI_PAGEWORK_H

#include "Flow.h"
#include "Walk.h"

// Does `task` and marks it done, or leaves it not done, the page as it was,
// when the run stops first.
void DoPage(walk::Task& task, walk::Mode mode, walk::FolderCache& folders, Flow& flow);

// Memory a page may take while it is done: the parser's cap for its size
// (which also bounds the page the library writes) and four times its size
// for the bytes read, the library's copy and what it makes on the way.
size_t PageNeed(size_t size);

#endif
