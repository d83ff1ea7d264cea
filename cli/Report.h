// The lines the site commands print for a page or a named path, and the counts the summary line adds up.
#ifndef QUORVANE_CLI_REPORT_H
#define QUORVANE_CLI_REPORT_H

#include <stddef.h>

#include <string>

struct Totals {
    size_t pages = 0;
    size_t bytes = 0;
    size_t changed = 0;
    size_t anchors = 0;
    size_t listed = 0;
    size_t findings = 0;
    size_t pagesWithFindings = 0;
    size_t errors = 0;
    void Add(const Totals& other);
};

// Every name goes in as the walk spelled it and comes out quoted where it must (Names.h).
struct Report {
    std::string out;
    std::string err;
    Totals totals;
    // FILE:LINE: reason, on standard output.
    void List(const std::string& shown, size_t line, const std::string& reason);
    // FILE: text, on standard output.
    void Say(const std::string& shown, const std::string& text);
    // quorvane-code: FILE: error, on standard error.
    void Error(const std::string& shown, const std::string& error);
};

// "1 page", "2 pages", "1 address", "2 addresses".
std::string Count(size_t n, const char* thing);

// The summary line: what was read, done and found; `stoppedBy` names the signal that stopped the run, if one did.
std::string Summary(const Totals& totals, bool protect, bool dryRun, const char* stoppedBy);

#endif
