// The site commands of quorvane-code: reads the arguments, walks the folders, does the files on a few threads and prints their lines in walk order as they come.
#include "SiteCommand.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <unordered_set>
#include <vector>

#include "Ascii.h"
#include "Decoders.h"
#include "FileWork.h"
#include "Files.h"
#include "Flow.h"
#include "Output.h"
#include "Report.h"
#include "Scan.h"
#include "Threads.h"
#include "Walk.h"

namespace {

// Memory the files in hand may take together (each its FileNeed); a file
// that needs more is done alone. With it the run's peak is the same on any
// number of processors.
const size_t kBudget = size_t(512) << 20;
// Threads for the files, by default: one per processor up to this many, and
// twice as many for --protect, whose threads also wait for the disk. More
// threads share the same budget.
const unsigned kDefaultJobsAtMost = 4;

class Run {
public:
    Run(walk::Mode mode, unsigned jobs) : mode_(mode), jobs_(jobs), flow_(kBudget), walker_(mode, flow_.stop) {}

    int Go(const std::vector<files::Named>& named) {
        threads::WatchForStop(OnStop, this);
        for (const files::Named& n : named) {
            if (flow_.stop.load()) break;
            walker_.Named(n);
        }
        if (decoders_ && !flow_.stop.load()) decoders_->Settle(walker_.Folders(), tasks_, options_);
        const unsigned jobs = Jobs();
        if (!flow_.stop.load() && workers_.Start(jobs, [](void* run) { static_cast<Run*>(run)->Work(); }, this) == 0 && jobs) {
            Work();  // no thread to be had: this one does the files
        }
        if (!PrintAll()) Stopped();
        {
            threads::Held held(flow_.lock);
            ended_ = true;
        }
        workers_.Join();
        if (decoders_) output::Write(true, decoders_->HashLines());
        output::Write(true, Summary(totals_, mode_ != walk::Mode::Check, mode_ == walk::Mode::DryRun, nullptr));
        output::Flush();
        if (mode_ != walk::Mode::Check) return totals_.errors ? 1 : 0;
        return totals_.errors ? 2 : totals_.findings ? 1 : 0;
    }

    std::unordered_set<std::string>& Accepted() { return options_.accepted; }
    void SetForm(site::Form form) { options_.form = form; }
    void SetDecoders(Decoders* decoders) { decoders_ = decoders; }

private:
    unsigned Jobs() const {
        const size_t files = std::count_if(tasks_.begin(), tasks_.end(), [](const walk::Task& t) { return !t.done; });
        const unsigned processors = std::min(threads::ProcessorCount(), kDefaultJobsAtMost);
        const unsigned jobs = jobs_ ? jobs_ : processors * (mode_ == walk::Mode::Protect ? 2 : 1);
        return static_cast<unsigned>(std::min<size_t>(jobs, files));
    }

    // One thread's share: the next file nobody has taken yet, until none is left or the run stops.
    void Work() {
        walk::FolderCache folders(walker_.Folders());
        for (;;) {
            const size_t i = next_.fetch_add(1);
            if (i >= tasks_.size() || flow_.stop.load()) return;
            if (!tasks_[i].done) DoFile(tasks_[i], mode_, options_, folders, flow_);
        }
    }

    // The tasks' lines in walk order, each as soon as it and those before it
    // are done. False when the run stopped first.
    bool PrintAll() {
        for (size_t next = 0; next < tasks_.size();) {
            if (!flow_.AwaitDone(tasks_[next])) return false;
            std::vector<walk::Task*> ready;
            {
                threads::Held held(flow_.lock);
                for (; next < tasks_.size() && tasks_[next].done; ++next) ready.push_back(&tasks_[next]);
            }
            const bool written = Print(ready);
            printed_ = next;
            if (!written) {
                flow_.Stop(threads::OutputClosedSignal());
                return false;
            }
        }
        return !flow_.stop.load();
    }

    // False when standard output is gone.
    bool Print(const std::vector<walk::Task*>& ready) {
        std::string out;
        bool written = true;
        for (walk::Task* task : ready) {
            totals_.Add(task->report.totals);
            out += task->report.out;
            if (!task->report.err.empty()) {
                output::Write(false, out);
                out.clear();
                written &= output::Flush();
                output::Write(true, task->report.err);
            }
            task->report = Report();
        }
        output::Write(false, out);
        return output::Flush() && written;
    }

    // After a stop: the lines of every file done so far, every file changed
    // among them, and the summary; then the end, by the signal.
    [[noreturn]] void Stopped() {
        flow_.Stop(0);  // waits for the files being replaced
        std::vector<walk::Task*> done;
        {
            threads::Held held(flow_.lock);
            for (size_t i = printed_; i < tasks_.size(); ++i) {
                if (tasks_[i].done) done.push_back(&tasks_[i]);
            }
        }
        const int signal = flow_.StoppedBy();
        if (signal != threads::OutputClosedSignal()) Print(done);
        output::Write(true, Summary(totals_, mode_ != walk::Mode::Check, mode_ == walk::Mode::DryRun,
                                   threads::SignalName(signal)));
        output::Flush();
        threads::EndBy(signal);
    }

    // On the watching thread: the run stops, and the main thread prints what
    // was done. A signal after the run's end, or an output that does not take
    // the lines within a second, ends the process at once.
    static void OnStop(void* context, int signal) {
        Run& run = *static_cast<Run*>(context);
        {
            threads::Held held(run.flow_.lock);
            if (run.ended_) return;
        }
        run.flow_.Stop(signal);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        threads::Held held(run.flow_.lock);
        for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
            run.flow_.wake.WaitFor(run.flow_.lock, static_cast<unsigned>(
                std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count() + 1));
        }
    }

    walk::Mode mode_;
    unsigned jobs_;
    SiteOptions options_;
    Flow flow_;
    walk::Walker walker_;
    std::deque<walk::Task>& tasks_ = walker_.Tasks();
    threads::Group workers_;
    std::atomic<size_t> next_{0};
    size_t printed_ = 0;
    Totals totals_;
    bool ended_ = false;
    Decoders* decoders_ = nullptr;
};

// The addresses of --accept and of each --accept-file, one a line (blank
// lines and # comments left out), in lower case. False, with the error
// printed, when a file cannot be read.
bool Accept(const CommandLine& line, int argc, char** argv, std::unordered_set<std::string>& accepted) {
    for (const std::string& address : line.accepted) accepted.insert(ascii::Lowered(ascii::Trim(address)));
    for (int index : line.acceptFiles) {
        std::vector<files::Named> named;
        std::string error, text;
        if (!files::ArgumentPaths(argc, argv, index, named, error) || !files::ReadNamedFile(named[0], text, error)) {
            output::Write(true, "quorvane-code: " + std::string(argv[index]) + ": " + error + "\n");
            return false;
        }
        for (size_t from = 0; from < text.size();) {
            size_t end = text.find('\n', from);
            if (end == std::string::npos) end = text.size();
            const std::string_view address = ascii::Trim(std::string_view(text).substr(from, end - from));
            if (!address.empty() && address[0] != '#') accepted.insert(ascii::Lowered(address));
            from = end + 1;
        }
    }
    return true;
}

// The text of the option operand argv[index], if given, as UTF-8 (on Windows
// from the wide command line, as the paths). False, with the error printed, when it cannot be read.
bool Argument(int index, int argc, char** argv, std::string& text) {
    if (index == 0) return true;
    std::vector<files::Named> named;
    std::string error;
    if (!files::ArgumentPaths(argc, argv, index, named, error)) {
        output::Write(true, "quorvane-code: " + error + "\n");
        return false;
    }
    text = named[0].shown;
    return true;
}

}  // namespace

int RunSiteCommand(const CommandLine& line, int argc, char** argv) {
    std::vector<files::Named> named;
    std::string error;
    if (!files::ArgumentPaths(argc, argv, line.firstOperand, named, error)) {
        output::Write(true, "quorvane-code: " + error + "\n");
        return 2;
    }
    const walk::Mode mode = line.job == Job::Check ? walk::Mode::Check : line.dryRun ? walk::Mode::DryRun : walk::Mode::Protect;
    Run run(mode, line.jobs);
    const bool strong = line.job == Job::Protect && line.form == "strong";
    run.SetForm(strong ? site::Form::kStrong : line.form == "script" ? site::Form::kScript : site::Form::kReferences);
    if (!Accept(line, argc, argv, run.Accepted())) return 2;
    if (!strong) return run.Go(named);
    std::string text = site::kDefaultFallbackText, url;
    if (!Argument(line.fallbackText, argc, argv, text) || !Argument(line.fallbackUrl, argc, argv, url)) return 2;
    // What visitors without JavaScript get must not give away what the strong form hides.
    for (const std::string* given : {&text, &url}) {
        if (site::FindMailto(*given, 0) != std::string::npos || !site::FindAddresses(*given).empty()) {
            output::Write(true, "quorvane-code: " + std::string(given == &text ? "--fallback-text" : "--fallback-url") +
                                    " holds an address or \"mailto\", which the strong form keeps out of pages\n");
            return 2;
        }
    }
    // Every decoder read before anything is written, and written before any page.
    Decoders decoders(text, url);
    if (!decoders.Prepare(named) || !decoders.Write(line.dryRun)) return 1;
    run.SetDecoders(&decoders);
    return run.Go(named);
}
