// The site commands' summary line: what was read, done and found.
#include "Report.h"

#include <string.h>

std::string Count(size_t n, const char* thing) {
    return std::to_string(n) + thing + (n == 1 ? "" : thing[strlen(thing) - 1] == 's' ? "es" : "s");
}

std::string Summary(const Totals& totals, bool protect, bool dryRun, const char* stoppedBy) {
    std::string summary = "quorvane-code: ";
    if (stoppedBy) summary += std::string("stopped by ") + stoppedBy + " after ";
    summary += Count(totals.files, " file") + " (" + std::to_string(totals.bytes) + " bytes) read";
    if (totals.binary) summary += ", " + std::to_string(totals.binary) + " binary read as bytes";
    if (totals.binarySkipped) summary += ", " + std::to_string(totals.binarySkipped) + " binary over the page limit skipped";
    if (totals.links) summary += ", " + Count(totals.links, " symbolic link") + " not followed";
    if (protect) {
        summary += "; " + std::to_string(totals.changed) + (dryRun ? " to change, " : " changed, ") +
                   Count(totals.anchors, " anchor") + (dryRun ? " to rewrite, " : " rewritten, ") +
                   Count(totals.values, " value") + " with addresses" + (dryRun ? " to rewrite; " : " rewritten; ") +
                   std::to_string(totals.listed) + " listed";
        if (totals.accepted) summary += "; " + std::to_string(totals.accepted) + " accepted";
        if (totals.optedOut) summary += "; " + std::to_string(totals.optedOut) + " in <!--email_off--> regions";
    } else {
        summary += "; " + Count(totals.findings, " readable address") + " in " + Count(totals.filesWithFindings, " file");
        if (totals.hidden) summary += " (" + std::to_string(totals.hidden) + " in hidden folders or files)";
        if (totals.accepted) summary += "; " + std::to_string(totals.accepted) + " accepted";
    }
    return summary + "; " + Count(totals.errors, " error") + "\n";
}
