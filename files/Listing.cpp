// Lines of one file's listing, with names quoted where they could break a line.
#include "Listing.h"

#include "Names.h"

void Totals::Add(const Totals& t) {
    files += t.files, bytes += t.bytes, binary += t.binary, binarySkipped += t.binarySkipped, changed += t.changed;
    anchors += t.anchors;
    values += t.values, listed += t.listed, findings += t.findings, filesWithFindings += t.filesWithFindings;
    hidden += t.hidden, accepted += t.accepted, optedOut += t.optedOut, links += t.links, errors += t.errors;
}

void Report::List(const std::string& shown, size_t line, const std::string& reason) {
    ++totals.listed;
    out += names::Shown(shown) + ":" + std::to_string(line) + ": " + reason + "\n";
}

void Report::Say(const std::string& shown, const std::string& text) { out += names::Shown(shown) + ": " + text + "\n"; }

void Report::Error(const std::string& shown, const std::string& error) {
    ++totals.errors;
    err += "quorvane-code: " + names::Shown(shown) + ": " + error + "\n";
}
