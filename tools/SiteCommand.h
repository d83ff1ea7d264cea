// The site commands of quorvane-code: --protect rewrites the mailto links of HTML pages in place, --check lists readable addresses.
#ifndef QUORVANE_SITECOMMAND_H
#define QUORVANE_SITECOMMAND_H

// True when argv[1] asks for a site command or for help.
bool IsSiteCommand(const char* first);

// Runs it; returns the process exit code.
int RunSiteCommand(int argc, char** argv);

#endif
