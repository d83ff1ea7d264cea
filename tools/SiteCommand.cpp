// The site commands of quorvane-code: reads the arguments, walks the folders, hands each page to the site library and reports.
#include "SiteCommand.h"

#include <string.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "Site.h"
#include "SiteFiles.h"

namespace {

using sitefiles::Kind;
using sitefiles::Path;

const char kHelp[] =
    "usage: quorvane-code ADDRESS LINKTEXT\n"
    "       quorvane-code --protect [--dry-run] PATH...\n"
    "       quorvane-code --check PATH...\n"
    "\n"
    "ADDRESS LINKTEXT\n"
    "  Prints the mail code for one address and link text.\n"
    "\n"
    "--protect [--dry-run] PATH...\n"
    "  Rewrites the mailto links of HTML pages in place. Each anchor of the form\n"
    "  <a href=\"mailto:ADDRESS\">TEXT</a> in a page's ordinary content becomes the\n"
    "  mail code for ADDRESS and TEXT; every other byte of the page stays as it was.\n"
    "  Anchors and pages left as they are get a line each, FILE:LINE: reason (other\n"
    "  attributes, a query such as ?subject=, an opt-out region between\n"
    "  <!--email_off--> and <!--/email_off-->, a page without a declared charset,\n"
    "  ...), and each changed page a line FILE: N anchors rewritten. A second run\n"
    "  changes nothing. --dry-run reports the same and writes nothing.\n"
    "  A changed page goes to a new file beside it, which is flushed to disk and\n"
    "  then put in its place in one step, with the page's permissions (and, for\n"
    "  root, its owner); a page with more than one hard link, or named through a\n"
    "  symbolic link, is listed instead, since that step would split the links.\n"
    "  A page with nothing to rewrite is not written at all.\n"
    "  Exit status: 0 when every file was done, 1 when a file could not be read or\n"
    "  written (one line each on standard error; the other files are still done).\n"
    "\n"
    "--check PATH...\n"
    "  Writes nothing. Lists every e-mail address that stands readable in a page's\n"
    "  raw bytes, wherever it stands (text, attribute values, scripts, comments,\n"
    "  JSON-LD), as FILE:LINE: where: address. It stands for the collectors that\n"
    "  read a page's source bytes with a pattern, the common kind. It does not stand\n"
    "  for collectors that decode character references or run the page's scripts:\n"
    "  addresses written as character references, such as those in the mail code,\n"
    "  are not listed, and such collectors may still find them.\n"
    "  An address is a local part of letters, digits and . _ % + -, an @, and a\n"
    "  domain of two or more labels of letters, digits and hyphens, the last of\n"
    "  2 to 63 letters and not a file type (png, css, ...): name@2x.png,\n"
    "  package@1.2.3 and user@host do not count.\n"
    "  Exit status as grep's: 0 none found, 1 some found, 2 a file could not be\n"
    "  read.\n"
    "\n"
    "PATH is a file, or a folder in which every *.html and *.htm file is taken,\n"
    "recursively (--check also takes *.xhtml). Symbolic links met inside a folder\n"
    "(on Windows also junctions) are not followed. True XHTML (*.xhtml), where\n"
    "scripts cannot write into the page, is never rewritten. The listing goes to\n"
    "standard output, the summary and errors to standard error; on Windows, paths\n"
    "print as UTF-8 to a pipe or file and as wide characters to a console.\n";

enum class Mode { Protect, Check };

struct Totals {
    size_t pages = 0;
    size_t bytes = 0;
    size_t changed = 0;
    size_t anchors = 0;
    size_t listed = 0;
    size_t findings = 0;
    size_t pagesWithFindings = 0;
    size_t errors = 0;
};

bool EndsWithNoCase(std::string_view name, std::string_view tail) {
    if (name.size() < tail.size()) return false;
    name.remove_prefix(name.size() - tail.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}

std::string Count(size_t n, const char* thing) {
    return std::to_string(n) + thing + (n == 1 ? "" : thing[strlen(thing) - 1] == 's' ? "es" : "s");
}

bool IsXhtml(std::string_view name) { return EndsWithNoCase(name, ".xhtml"); }

// What one page (or one named path) gives: its lines for standard output and
// error, and what it adds to the totals.
struct Report {
    std::string out;
    std::string err;
    Totals totals;
};

struct Job {
    Path path;
    std::string shown;
    bool throughLink = false;
    bool done = false;  // nothing left to do: `report` is complete
    Report report;
};

void Out(Report& r, const std::string& text) { r.out += text; }

void List(Report& r, const std::string& shown, size_t line, const std::string& reason) {
    ++r.totals.listed;
    r.out += shown + ":" + std::to_string(line) + ": " + reason + "\n";
}

void Error(Report& r, const std::string& shown, const std::string& error) {
    ++r.totals.errors;
    r.err += "quorvane-code: " + shown + ": " + error + "\n";
}

// First every path is found (folders walked), then the pages are done on as
// many threads as there are processors, each page on its own, and last the
// reports are printed in the order of the walk, so that the output is the
// same whatever the threads did first.
class Run {
public:
    Run(Mode mode, bool dryRun) : mode_(mode), dryRun_(dryRun) {}

    void Named(const sitefiles::Named& named) {
        Job& job = NewJob(Path(), named.shown, true);
        Kind kind;
        std::string error;
        if (!named.error.empty()) return Error(job.report, named.shown, named.error);
        // What the command line names is followed, as grep -r and find -H do.
        if (!sitefiles::Classify(named.native, true, kind, error)) return Error(job.report, named.shown, error);
        if (kind == Kind::Folder) return Folder(named.native, named.shown);
        if (mode_ == Mode::Protect && IsXhtml(named.shown)) {
            return List(job.report, named.shown, 1,
                        "true XHTML (*.xhtml), where document.write does not run: left whole");
        }
        Kind own = kind;
        if (!sitefiles::Classify(named.native, false, own, error)) return Error(job.report, named.shown, error);
        job.path = named.native;
        job.throughLink = own == Kind::Link;
        job.done = false;
    }

    int Finish() {
        next_ = 0;
        // Writing threads spend most of their time waiting for the disk to
        // flush, so more of them keep the processors busy meanwhile.
        unsigned threads = std::min(sitefiles::ProcessorCount() * (mode_ == Mode::Protect && !dryRun_ ? 4 : 1), 16u);
        sitefiles::RunThreads(threads, [](void* run) { static_cast<Run*>(run)->Work(); }, this);

        Totals totals;
        std::string out;
        for (const Job& job : jobs_) {
            const Totals& t = job.report.totals;
            totals.pages += t.pages, totals.bytes += t.bytes, totals.changed += t.changed;
            totals.anchors += t.anchors, totals.listed += t.listed, totals.findings += t.findings;
            totals.pagesWithFindings += t.pagesWithFindings, totals.errors += t.errors;
            out += job.report.out;
            if (!job.report.err.empty() || out.size() > (1u << 16)) {
                sitefiles::Write(false, out);
                out.clear();
                sitefiles::Flush();
                sitefiles::Write(true, job.report.err);
            }
        }
        sitefiles::Write(false, out);
        std::string summary = "quorvane-code: " + Count(totals.pages, " page") + " (" +
                              std::to_string(totals.bytes) + " bytes) read";
        if (mode_ == Mode::Protect) {
            summary += "; " + std::to_string(totals.changed) + (dryRun_ ? " to change, " : " changed, ") +
                       Count(totals.anchors, " anchor") + (dryRun_ ? " to rewrite; " : " rewritten; ") +
                       std::to_string(totals.listed) + " listed";
        } else {
            summary += "; " + Count(totals.findings, " readable address") + " in " +
                       Count(totals.pagesWithFindings, " page");
        }
        summary += "; " + Count(totals.errors, " error") + "\n";
        sitefiles::Flush();
        sitefiles::Write(true, summary);
        sitefiles::Flush();
        if (mode_ == Mode::Protect) return totals.errors ? 1 : 0;
        return totals.errors ? 2 : totals.findings ? 1 : 0;
    }

private:
    Job& NewJob(Path path, std::string shown, bool done) {
        jobs_.emplace_back();
        Job& job = jobs_.back();
        job.path = std::move(path);
        job.shown = std::move(shown);
        job.done = done;
        return job;
    }

    // Files before subfolders, each in name order; an explicit stack, since
    // a folder tree may be deeper than the call stack allows.
    void Folder(const Path& root, const std::string& rootShown) {
        std::vector<std::pair<Path, std::string>> pending{{root, rootShown}};
        std::vector<sitefiles::Entry> entries;
        while (!pending.empty()) {
            auto [folder, shown] = std::move(pending.back());
            pending.pop_back();
            std::string error;
            if (!sitefiles::ListFolder(folder, entries, error)) {
                Error(NewJob(Path(), shown, true).report, shown, error);
                continue;
            }
            const std::string prefix =
                !shown.empty() && (shown.back() == '/' || shown.back() == sitefiles::kShownSeparator)
                    ? shown
                    : shown + sitefiles::kShownSeparator;
            size_t firstSub = pending.size();
            for (const sitefiles::Entry& e : entries) {
                if (e.kind == Kind::Folder) {
                    pending.emplace_back(sitefiles::Join(folder, e.name), prefix + e.shown);
                } else if (e.kind == Kind::File && Taken(e.shown)) {
                    NewJob(sitefiles::Join(folder, e.name), prefix + e.shown, false);
                }
            }
            std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstSub), pending.end());
        }
    }

    bool Taken(std::string_view name) const {
        return EndsWithNoCase(name, ".html") || EndsWithNoCase(name, ".htm") ||
               (mode_ == Mode::Check && IsXhtml(name));
    }

    // One thread's share: the next page nobody has taken yet, until none is left.
    void Work() {
        std::string bytes;  // reused from page to page
        for (size_t i; !sitefiles::Interrupted() && (i = next_.fetch_add(1)) < jobs_.size();) {
            if (!jobs_[i].done) Page(jobs_[i], bytes);
        }
    }

    void Page(Job& job, std::string& bytes) const {
        Report& r = job.report;
        std::string error;
        sitefiles::Facts facts;
        if (!sitefiles::ReadPage(job.path, bytes, facts, error)) return Error(r, job.shown, error);
        ++r.totals.pages;
        r.totals.bytes += bytes.size();
        if (mode_ == Mode::Check) return Check(r, job.shown, bytes);

        site::ProtectResult result = site::ProtectPage(bytes);
        for (const site::Listed& l : result.listed) List(r, job.shown, l.line, l.reason);
        if (result.rewritten == 0) return;
        const std::string count = Count(result.rewritten, " anchor");
        if (job.throughLink || facts.links > 1) {
            return List(r, job.shown, 1,
                        count + " to rewrite, but the page is not replaced: " +
                            (job.throughLink ? std::string("it was named through a symbolic link")
                                             : "it has " + std::to_string(facts.links) + " hard links") +
                            ", which replacing it would split");
        }
        if (!dryRun_ && !sitefiles::ReplacePage(job.path, result.output, facts, error)) {
            return Error(r, job.shown, error);
        }
        ++r.totals.changed;
        r.totals.anchors += result.rewritten;
        Out(r, job.shown + ": " + count + (dryRun_ ? " to rewrite\n" : " rewritten\n"));
    }

    static void Check(Report& r, const std::string& shown, std::string_view bytes) {
        std::vector<site::Finding> findings = site::CheckPage(bytes);
        if (findings.empty()) return;
        ++r.totals.pagesWithFindings;
        r.totals.findings += findings.size();
        for (const site::Finding& f : findings) {
            Out(r, shown + ":" + std::to_string(f.line) + ": " + f.where + ": " + f.address + "\n");
        }
    }

    Mode mode_;
    bool dryRun_;
    // A deque: a job keeps its place in memory while later ones are added.
    std::deque<Job> jobs_;
    std::atomic<size_t> next_{0};
};

int Usage() {
    sitefiles::Write(true,
                     "usage: quorvane-code --protect [--dry-run] PATH...\n"
                     "       quorvane-code --check PATH...\n"
                     "       quorvane-code --help\n");
    sitefiles::Flush();
    return 2;
}

}  // namespace

bool IsSiteCommand(const char* first) {
    return strcmp(first, "--protect") == 0 || strcmp(first, "--check") == 0 || strcmp(first, "--help") == 0 ||
           strcmp(first, "-h") == 0 || strcmp(first, "--dry-run") == 0;
}

int RunSiteCommand(int argc, char** argv) {
    bool protect = false, check = false, dryRun = false, help = false;
    int first = 1;
    for (; first < argc && argv[first][0] == '-'; ++first) {
        std::string_view option = argv[first];
        if (option == "--") {
            ++first;
            break;
        }
        if (option == "--protect") protect = true;
        else if (option == "--check") check = true;
        else if (option == "--dry-run") dryRun = true;
        else if (option == "--help" || option == "-h") help = true;
        else return Usage();
    }
    if (help) {
        sitefiles::Write(false, kHelp);
        sitefiles::Flush();
        return 0;
    }
    if (protect == check || (check && dryRun) || first == argc) return Usage();

    std::vector<sitefiles::Named> named;
    std::string error;
    if (!sitefiles::ArgumentPaths(argc, argv, first, named, error)) {
        sitefiles::Write(true, "quorvane-code: " + error + "\n");
        return 2;
    }
    Run run(protect ? Mode::Protect : Mode::Check, dryRun);
    for (const sitefiles::Named& n : named) run.Named(n);
    return run.Finish();
}
