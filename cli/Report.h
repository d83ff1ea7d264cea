// The summary line of the site commands, from the counts of every file's listing.
#ifndef QUORVANE_CLI_REPORT_H
#define QUORVANE_CLI_REPORT_H

#include <stddef.h>

#include <string>

#include "Listing.h"

// "1 file", "2 files", "1 address", "2 addresses".
std::string Count(size_t n, const char* thing);

// The summary line: what was read, done and found; `stoppedBy` names the signal that stopped the run, if one did.
std::string Summary(const Totals& totals, bool protect, bool dryRun, const char* stoppedBy);

#endif
