// The site commands of quorvane-code: reads the arguments, walks the folders, hands each page to the site library and reports.
#include "SiteCommand.h"

#include <string.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "Ascii.h"
#include "Site.h"
#include "Files.h"

namespace {

using files::Kind;
using files::Path;

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

std::string Count(size_t n, const char* thing) {
    return std::to_string(n) + thing + (n == 1 ? "" : thing[strlen(thing) - 1] == 's' ? "es" : "s");
}

bool IsXhtml(std::string_view name) { return ascii::EndsWithNoCase(name, ".xhtml"); }

// What one page (or one named path) gives: its lines for standard output and
// error, and what it adds to the totals.
struct Report {
    std::string out;
    std::string err;
    Totals totals;
};

struct Task {
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

    void Named(const files::Named& named) {
        Task& job = NewTask(Path(), named.shown, true);
        Kind kind;
        std::string error;
        if (!named.error.empty()) return Error(job.report, named.shown, named.error);
        // What the command line names is followed, as grep -r and find -H do.
        if (!files::Classify(named.native, true, kind, error)) return Error(job.report, named.shown, error);
        if (kind == Kind::Folder) return Folder(named.native, named.shown);
        if (mode_ == Mode::Protect && IsXhtml(named.shown)) {
            return List(job.report, named.shown, 1,
                        "true XHTML (*.xhtml), where document.write does not run: left whole");
        }
        Kind own = kind;
        if (!files::Classify(named.native, false, own, error)) return Error(job.report, named.shown, error);
        job.path = named.native;
        job.throughLink = own == Kind::Link;
        job.done = false;
    }

    int Finish() {
        next_ = 0;
        // Writing threads spend most of their time waiting for the disk to
        // flush, so more of them keep the processors busy meanwhile.
        unsigned threads = std::min(files::ProcessorCount() * (mode_ == Mode::Protect && !dryRun_ ? 4 : 1), 16u);
        files::RunThreads(threads, [](void* run) { static_cast<Run*>(run)->Work(); }, this);

        Totals totals;
        std::string out;
        for (const Task& job : tasks_) {
            const Totals& t = job.report.totals;
            totals.pages += t.pages, totals.bytes += t.bytes, totals.changed += t.changed;
            totals.anchors += t.anchors, totals.listed += t.listed, totals.findings += t.findings;
            totals.pagesWithFindings += t.pagesWithFindings, totals.errors += t.errors;
            out += job.report.out;
            if (!job.report.err.empty() || out.size() > (1u << 16)) {
                files::Write(false, out);
                out.clear();
                files::Flush();
                files::Write(true, job.report.err);
            }
        }
        files::Write(false, out);
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
        files::Flush();
        files::Write(true, summary);
        files::Flush();
        if (mode_ == Mode::Protect) return totals.errors ? 1 : 0;
        return totals.errors ? 2 : totals.findings ? 1 : 0;
    }

private:
    Task& NewTask(Path path, std::string shown, bool done) {
        tasks_.emplace_back();
        Task& job = tasks_.back();
        job.path = std::move(path);
        job.shown = std::move(shown);
        job.done = done;
        return job;
    }

    // Files before subfolders, each in name order; an explicit stack, since
    // a folder tree may be deeper than the call stack allows.
    void Folder(const Path& root, const std::string& rootShown) {
        std::vector<std::pair<Path, std::string>> pending{{root, rootShown}};
        std::vector<files::Entry> entries;
        while (!pending.empty()) {
            auto [folder, shown] = std::move(pending.back());
            pending.pop_back();
            std::string error;
            if (!files::ListFolder(folder, entries, error)) {
                Error(NewTask(Path(), shown, true).report, shown, error);
                continue;
            }
            const std::string prefix =
                !shown.empty() && (shown.back() == '/' || shown.back() == files::kShownSeparator)
                    ? shown
                    : shown + files::kShownSeparator;
            size_t firstSub = pending.size();
            for (const files::Entry& e : entries) {
                if (e.kind == Kind::Folder) {
                    pending.emplace_back(files::Join(folder, e.name), prefix + e.shown);
                } else if (e.kind == Kind::File && Taken(e.shown)) {
                    NewTask(files::Join(folder, e.name), prefix + e.shown, false);
                }
            }
            std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstSub), pending.end());
        }
    }

    bool Taken(std::string_view name) const {
        return ascii::EndsWithNoCase(name, ".html") || ascii::EndsWithNoCase(name, ".htm") ||
               (mode_ == Mode::Check && IsXhtml(name));
    }

    // One thread's share: the next page nobody has taken yet, until none is left.
    void Work() {
        std::string bytes;  // reused from page to page
        for (size_t i; !files::Interrupted() && (i = next_.fetch_add(1)) < tasks_.size();) {
            if (!tasks_[i].done) Page(tasks_[i], bytes);
        }
    }

    void Page(Task& job, std::string& bytes) const {
        Report& r = job.report;
        std::string error;
        files::Facts facts;
        if (!files::ReadPage(job.path, bytes, facts, error)) return Error(r, job.shown, error);
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
        if (!dryRun_ && !files::ReplacePage(job.path, result.output, facts, error)) {
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
    // A deque: a task keeps its place in memory while later ones are added.
    std::deque<Task> tasks_;
    std::atomic<size_t> next_{0};
};

}  // namespace

int RunSiteCommand(const CommandLine& line, int argc, char** argv) {
    std::vector<files::Named> named;
    std::string error;
    if (!files::ArgumentPaths(argc, argv, line.firstOperand, named, error)) {
        files::Write(true, "quorvane-code: " + error + "\n");
        return 2;
    }
    Run run(line.job == Job::Protect ? Mode::Protect : Mode::Check, line.dryRun);
    for (const files::Named& n : named) run.Named(n);
    return run.Finish();
}
