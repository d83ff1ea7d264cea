// The lines the site commands print for a page or a named path, and the counts the summary line adds up.
#ifndef QUORVANE_CLI_REPORT_H
#define QUORVANE_CLI_REPORT_H

#include <stddef.h>

#include <string>

struct Totals {
    size_t files = 0;        // read, as pages or as other files
    size_t bytes = 0;
    size_t binary = 0;         // read as bytes, for addresses only
    size_t binarySkipped = 0;  // binary files over the page limit, unread but for their start
    size_t changed = 0;      // files rewritten
    size_t anchors = 0;      // anchors rewritten in pages
    size_t values = 0;       // JSON and XML values rewritten to hide an address
    size_t listed = 0;
    size_t findings = 0;
    size_t filesWithFindings = 0;
    size_t hidden = 0;       // findings in hidden folders or files
    size_t accepted = 0;     // findings of addresses known to be public
    size_t optedOut = 0;     // addresses --protect left in <!--email_off--> regions
    size_t links = 0;        // symbolic links (and junctions) met in a folder, not followed
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
