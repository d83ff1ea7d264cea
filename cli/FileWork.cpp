// Does one file: opens it without blocking, reads it within its size and the run's memory budget, hands its bytes to the site library, and replaces it only while it is unchanged.
#include "FileWork.h"

#include <stdlib.h>

#include <algorithm>
#include <new>
#include <string>

#include "Ascii.h"
#include "Packing.h"
#include "Report.h"
#include "Site.h"

namespace {

using files::Outcome;

// What a precompressed twin may unpack to, for its share of the memory budget: HTML packs some 5 to 10 times.
const size_t kMostUnpackedPerByte = 64;

// The library's work on the bytes; false when memory ran out on the way.
template <typename Work>
bool Guarded(Work work) {
#if defined(__cpp_exceptions)
    try {
        work();
    } catch (const std::bad_alloc&) {
        return false;
    }
#else
    work();
#endif
    return true;
}

// A share of the budget, given back as the file lets go of memory.
class Share {
public:
    explicit Share(Flow& flow) : flow_(flow) {}
    ~Share() { flow_.Give(held_); }
    bool Take(size_t bytes) {
        held_ = std::min(bytes, flow_.Budget());
        if (flow_.Take(held_)) return true;
        held_ = 0;
        return false;
    }
    void Keep(size_t bytes) {
        if (bytes >= held_) return;
        flow_.Give(held_ - bytes);
        held_ = bytes;
    }

private:
    Flow& flow_;
    size_t held_ = 0;
};

class FileWork {
public:
    FileWork(walk::Task& task, walk::Mode mode, const SiteOptions& options, Flow& flow)
        : task_(task), report_(task.report), shown_(task.shown), mode_(mode), options_(options), flow_(flow), share_(flow) {}
    ~FileWork() { free(bytes_); }

    // False when the run stopped before the file was done.
    bool Run(walk::FolderCache& folders) {
        if (!Open(folders) || !Kind()) return true;
        // Compared before it is cut to size_t, which has 32 bits on 32-bit Windows.
        if (file_.Stamped().size > site::kMaxPageBytes) return TooLarge(), true;
        const size_t size = static_cast<size_t>(file_.Stamped().size);
        // A precompressed twin takes the share of what it may unpack to.
        const size_t work = packing_ == site::Packing::kNone ? size : std::min(site::kMaxPageBytes, kMostUnpackedPerByte * size);
        if (!share_.Take(FileNeed(work, mode_ == walk::Mode::Check ? site::Form::kReferences : options_.form))) return false;
        bytes_ = static_cast<char*>(malloc(size ? size : 1));
        if (!bytes_) return report_.Error(shown_, "cannot hold its " + std::to_string(size) + " bytes in memory"), true;
        std::string error;
        const Outcome read = file_.Read(bytes_, error, flow_.stop);
        if (read == Outcome::Stopped) return false;
        if (read == Outcome::Changed) error = "it changed while it was read; not done";
        if (read != Outcome::Done) return report_.Error(shown_, error), true;
        ++report_.totals.files;
        report_.totals.bytes += size;
        const std::string_view bytes(bytes_, size);
        const bool held = Guarded([&] {
            if (packing_ != site::Packing::kNone) return Twin(bytes);
            mode_ == walk::Mode::Check ? Check(bytes) : Protect(bytes);
        });
        if (!held) report_.Error(shown_, "cannot hold what the file takes in memory (" + std::to_string(size) + " bytes)");
        return !stopped_;
    }

    bool Replacing() const { return replacing_; }

private:
    // A precompressed twin: read as what it packs, and written again packed the same way.
    void Twin(std::string_view packed) {
        const char* name = site::PackingName(packing_);
        if (!site::CanUnpack(packing_)) {
            const std::string why = std::string("a ") + name + " file, which this build of quorvane-code does not read";
            return mode_ == walk::Mode::Check ? report_.Say(shown_, why + ": not checked") : report_.List(shown_, 1, why + ": left as it is");
        }
        std::string unpacked, problem;
        if (!site::Unpack(packing_, packed, site::kMaxPageBytes, &unpacked, &problem)) {
            if (unpacked.size() >= site::kMaxPageBytes) {
                // An archive: what it packs is more than the page limit, and is skipped like a large binary file.
                ++report_.totals.binarySkipped;
                return;
            }
            if (mode_ == walk::Mode::Check) return report_.Error(shown_, std::string("not read as ") + name + ": " + problem);
            return report_.List(shown_, 1, std::string("not read as ") + name + " (" + problem + "): left as it is");
        }
        kind_ = site::KindOfFile(site::UnpackedName(task_.shown),
                                 std::string_view(unpacked).substr(0, std::min(unpacked.size(), site::kFirstBlockBytes)));
        if (mode_ == walk::Mode::Check) return Check(unpacked);
        repack_ = true;
        Protect(unpacked, packed);
    }

    bool Open(walk::FolderCache& folders) {
        Outcome outcome;
        std::string error;
        folder_ = folders.Open(task_.folder, outcome, error);
        if (folder_) outcome = file_.Open(*folder_, task_.name, task_.throughLink, task_.id, error);
        if (outcome == Outcome::Done) return true;
        report_.Error(shown_, outcome == Outcome::Changed ? walk::kMoved : error);
        return false;
    }

    // The file's kind, by its name and first block; false when that is all
    // there is to do: a binary file over the page limit is not read further.
    bool Kind() {
        char start[site::kFirstBlockBytes];
        const size_t length = static_cast<size_t>(std::min<unsigned long long>(file_.Stamped().size, sizeof start));
        std::string error;
        const Outcome read = file_.ReadStart(start, length, error);
        if (read != Outcome::Done) {
            report_.Error(shown_, read == Outcome::Changed ? "it changed while it was read; not done" : error);
            return false;
        }
        kind_ = site::KindOfFile(task_.shown, std::string_view(start, length));
        if (packing_ != site::Packing::kNone) {
            // Its kind is that of what it packs; an archive too large to unpack here is skipped like a large binary file.
            if (file_.Stamped().size <= site::kMaxPageBytes) return true;
            ++report_.totals.binarySkipped;
            return false;
        }
        if (kind_ == site::FileKind::kBinary && file_.Stamped().size > site::kMaxPageBytes) {
            ++report_.totals.binarySkipped;
            return false;
        }
        if (kind_ == site::FileKind::kBinary) ++report_.totals.binary;
        if (kind_ == site::FileKind::kCache && mode_ != walk::Mode::Check) return Protect(std::string_view()), false;
        return true;
    }

    // Told from its size, without reading it.
    void TooLarge() {
        const std::string size = std::to_string(file_.Stamped().size) + " bytes";
        const std::string kLimit = std::to_string(site::kMaxPageBytes >> 20) + " MiB";
        const char* what = kind_ == site::FileKind::kPage ? "the page" : "the file";
        if (mode_ == walk::Mode::Check) {
            return report_.Error(shown_, "not read: " + size + ", more than the parser's limit of " + kLimit + " for a page");
        }
        report_.List(shown_, 1, std::string(what) + " is larger than the parser's limit of " + kLimit + " (" + size +
                                    "): left whole, not read");
    }

    void Check(std::string_view bytes) {
        const std::vector<site::Finding> findings = site::CheckFile(kind_, bytes);
        size_t listed = 0;
        for (const site::Finding& f : findings) {
            if (options_.Accepted(f.address)) {
                ++report_.totals.accepted;
                continue;
            }
            ++listed;
            report_.List(shown_, f.line, f.where + ": " + f.address);
        }
        if (listed == 0) return;
        ++report_.totals.filesWithFindings;
        report_.totals.findings += listed;
        if (task_.hidden) report_.totals.hidden += listed;
    }

    // `packed` is the file's own bytes, when they are `bytes` packed.
    void Protect(std::string_view bytes, std::string_view packed = std::string_view()) {
        site::ProtectOptions options;
        options.form = options_.form;
        options.accepted = &options_.accepted;
        if (options.form == site::Form::kStrong) options.strong = options_.strong[task_.folder];
        site::ProtectResult result = site::ProtectFile(kind_, bytes, options);
        report_.totals.accepted += result.accepted;
        report_.totals.optedOut += result.optedOut;
        // Lines as the file stands once the command is over.
        const bool written = mode_ == walk::Mode::Protect;
        for (const site::Listed& l : result.listed) report_.List(shown_, written && l.lineAfter ? l.lineAfter : l.line, l.reason);
        if (!result.Changed()) return;
        std::string count = result.rewritten ? Count(result.rewritten, " anchor") : "";
        if (result.values) count += (count.empty() ? "" : ", ") + Count(result.values, " value") + " with addresses";
        const unsigned long links = file_.Stamped().links;
        if (task_.throughLink || links > 1) {
            return report_.List(shown_, 1, count + " to rewrite, but the file is not replaced: " +
                                               (task_.throughLink ? std::string("it was named through a symbolic link")
                                                                  : "it has " + std::to_string(links) + " hard links") +
                                               ", which replacing it would split");
        }
        if (repack_) {
            std::string repacked, problem;
            if (!site::Pack(packing_, result.output, &repacked, &problem)) return report_.Error(shown_, problem);
            if (mode_ == walk::Mode::Protect && !Replace(packed, repacked)) return;
        } else if (mode_ == walk::Mode::Protect && !Replace(bytes, result.output)) {
            return;
        }
        ++report_.totals.changed;
        report_.totals.anchors += result.rewritten;
        report_.totals.values += result.values;
        report_.Say(shown_, count + (mode_ == walk::Mode::DryRun ? " to rewrite" : " rewritten"));
    }

    bool Replace(std::string_view read, const std::string& output) {
        share_.Keep(read.size() + output.size());
        if (!(replacing_ = flow_.StartReplacing())) return stopped_ = true, false;
        std::string error;
        const Outcome outcome = files::ReplaceFile(*folder_, task_.name, file_, read, output, flow_.stop, error);
        if (outcome == Outcome::Stopped) stopped_ = true;
        if (outcome == Outcome::Changed) error = "it changed during the run: kept as it is now, not rewritten; run again";
        if (outcome == Outcome::Changed || outcome == Outcome::Failed) report_.Error(shown_, error);
        return outcome == Outcome::Done;
    }

    walk::Task& task_;
    Report& report_;
    const std::string& shown_;
    walk::Mode mode_;
    const SiteOptions& options_;
    Flow& flow_;
    Share share_;
    const files::Folder* folder_ = nullptr;
    files::File file_;
    char* bytes_ = nullptr;
    site::FileKind kind_ = site::FileKind::kText;
    const site::Packing packing_ = site::PackingOfFile(task_.shown);
    bool repack_ = false;
    bool replacing_ = false;
    bool stopped_ = false;
};

}  // namespace

bool SiteOptions::Accepted(const std::string& address) const {
    return !accepted.empty() && accepted.count(ascii::Lowered(address)) != 0;
}

size_t FileNeed(size_t size, site::Form form) { return site::WorkMemory(size, form) + size; }

void DoFile(walk::Task& task, walk::Mode mode, const SiteOptions& options, walk::FolderCache& folders, Flow& flow) {
    bool done, replacing;
    {
        FileWork work(task, mode, options, flow);
        done = work.Run(folders);
        replacing = work.Replacing();
    }
    flow.Finished(task, done, replacing);
}
