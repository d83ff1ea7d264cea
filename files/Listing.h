// The lines a site command prints for one file or named path, and the counts its summary line adds up.
#ifndef QUORVANE_FILES_LISTING_H
#define QUORVANE_FILES_LISTING_H

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

#endif
