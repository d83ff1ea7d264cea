// The site commands of quorvane-code: --protect rewrites the mailto links of HTML pages in place, --check lists readable addresses.
#ifndef QUORVANE_CLI_SITECOMMAND_H
#define QUORVANE_CLI_SITECOMMAND_H

#include "CommandLine.h"

// Runs the job of `line` (Protect or Check) over its PATHs; returns the process exit code.
int RunSiteCommand(const CommandLine& line, int argc, char** argv);

#endif
