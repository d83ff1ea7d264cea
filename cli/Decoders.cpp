// The decoder file of the strong form: found or made at the top of each PATH before the walk, written before any page, and named in each page by a relative URL.
#include "Decoders.h"

#include <string.h>

#include <map>
#include <utility>

#include "Names.h"
#include "Output.h"
#include "Sha256.h"
#include "Strong.h"

namespace {

// A decoder is a few kilobytes; a larger file of its name is not one.
const size_t kMostDecoderBytes = size_t(1) << 20;

const files::Path& DecoderName() {
    static const files::Path name(site::kDecoderName, site::kDecoderName + strlen(site::kDecoderName));  // ASCII
    return name;
}

// The shown PATH up to its last separator, for the decoder beside a file.
std::string ShownFolderOf(const std::string& shown) {
    const size_t slash = shown.find_last_of(std::string("/") + files::kShownSeparator);
    return slash == std::string::npos ? std::string() : shown.substr(0, slash + 1);
}

std::string ShownInFolder(const std::string& folder) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == files::kShownSeparator)) return folder;
    return folder + files::kShownSeparator;
}

}  // namespace

bool Decoders::Fail(const std::string& shown, const std::string& error) const {
    output::Write(true, "quorvane-code: " + names::Shown(shown) + ": " + error + "; nothing done\n");
    output::Flush();
    return false;
}

bool Decoders::Prepare(const std::vector<files::Named>& named) {
    for (const files::Named& n : named) {
        files::Look look, top;
        files::Path folderPath = n.native, name;
        std::string error, shown;
        if (!n.error.empty() || !files::LookAt(n.native, true, look, error)) continue;
        if (look.kind == files::Kind::File) {
            files::SplitPath(n.native, folderPath, name);
            shown = ShownFolderOf(n.shown);
        } else if (look.kind == files::Kind::Folder) {
            shown = ShownInFolder(n.shown);
        } else {
            continue;
        }
        if (!files::LookAt(folderPath, true, top, error)) continue;
        bool known = false;
        for (const Decoder& d : decoders_) known |= d.folder.Id() == top.id;
        if (known) continue;
        Decoder d;
        d.shown = shown + site::kDecoderName;
        files::Outcome outcome = d.folder.OpenPath(folderPath, error);
        if (outcome == files::Outcome::Done && d.folder.Id() != top.id) outcome = files::Outcome::Changed;
        if (outcome != files::Outcome::Done) return Fail(n.shown, outcome == files::Outcome::Changed ? walk::kMoved : error);
        outcome = files::ReadFileIn(d.folder, DecoderName(), kMostDecoderBytes, d.before, error);
        if (outcome == files::Outcome::Done) {
            d.existed = true;
            if (!site::KeyOfDecoder(d.before, &d.key) || d.key.size() != site::kStrongKeyBytes) {
                return Fail(d.shown, "a file of the decoder's name that is not one of this tool's (it holds no key), "
                                     "left as it is; move it, or give another PATH");
            }
        } else if (outcome == files::Outcome::Changed) {  // none yet: a new key for the site
            d.key.assign(site::kStrongKeyBytes, '\0');
            if (!files::RandomBytes(&d.key[0], d.key.size(), error)) return Fail(d.shown, error);
        } else {
            return Fail(d.shown, "not read as the decoder: " + error);
        }
        d.script = site::DecoderScript(d.key);
        d.onDisk = d.existed && d.before == d.script;
        decoders_.push_back(std::move(d));
    }
    return true;
}

bool Decoders::Write(bool dryRun) {
    Report report;
    for (Decoder& d : decoders_) {
        if (d.onDisk) continue;
        if (dryRun) {
            report.Say(d.shown, d.existed ? "the decoder to rewrite, its key kept" : "the decoder to write, with a new key");
            continue;
        }
        std::string error;
        const files::Outcome outcome =
            files::WriteOwnFile(d.folder, DecoderName(), d.existed ? &d.before : nullptr, d.script, error);
        if (outcome == files::Outcome::Changed) return Fail(d.shown, "it changed while the decoder was written; run again");
        if (outcome != files::Outcome::Done) return Fail(d.shown, error);
        d.onDisk = true;
        report.Say(d.shown, d.existed ? "the decoder rewritten, its key kept" : "the decoder written, with a new key");
    }
    output::Write(false, report.out);
    return output::Flush();
}

void Decoders::Settle(const std::deque<walk::FolderRecord>& folders, std::deque<walk::Task>& tasks, SiteOptions& options) {
    // A folder's record comes after the one above it: its decoder and depth are known by then.
    std::vector<size_t> decoder(folders.size(), walk::kNone), depth(folders.size(), 0);
    std::map<std::pair<size_t, size_t>, const site::StrongSetting*> made;
    options.strong.assign(folders.size(), nullptr);
    for (size_t i = 0; i < folders.size(); ++i) {
        const walk::FolderRecord& f = folders[i];
        if (f.parent != walk::kNone) {
            decoder[i] = decoder[f.parent], depth[i] = depth[f.parent] + 1;
        } else {
            for (size_t k = 0; k < decoders_.size(); ++k) decoder[i] = decoders_[k].folder.Id() == f.id ? k : decoder[i];
        }
        if (decoder[i] == walk::kNone) continue;
        const site::StrongSetting*& setting = made[{decoder[i], depth[i]}];
        if (!setting) {
            std::string url;
            for (size_t up = 0; up < depth[i]; ++up) url += "../";
            settings_.push_back({decoders_[decoder[i]].key, url + site::kDecoderName, fallbackText_, fallbackUrl_});
            setting = &settings_.back();
        }
        options.strong[i] = setting;
    }
    for (walk::Task& task : tasks) {
        if (task.done) continue;
        if (!options.strong[task.folder]) {
            // Its top folder was swapped between the decoder's read and the walk.
            task.report.Error(task.shown, walk::kMoved);
            task.done = true;
        } else if (folders[task.folder].parent == walk::kNone && task.name == DecoderName()) {
            task.done = true;
        }
    }
}

std::string Decoders::HashLines() const {
    std::string lines;
    for (const Decoder& d : decoders_) {
        if (!d.onDisk) continue;
        const std::string hash = "sha256-" + site::Base64(site::Sha256(d.script));
        lines += "quorvane-code: " + names::Shown(d.shown) + ": where scripts are pinned by hash, allow '" + hash +
                 "' (integrity=\"" + hash + "\")\n";
    }
    return lines;
}
