// The strong form's decoder at the top of each PATH: its key read or made, its file written before any page, each folder's setting, and the hash a site's policy may pin it by.
#ifndef QUORVANE_CLI_DECODERS_H
#define QUORVANE_CLI_DECODERS_H

#include <deque>
#include <string>
#include <vector>

#include "FileWork.h"
#include "Files.h"
#include "Site.h"
#include "Walk.h"

class Decoders {
public:
    Decoders(std::string fallbackText, std::string fallbackUrl)
        : fallbackText_(std::move(fallbackText)), fallbackUrl_(std::move(fallbackUrl)) {}

    // The decoder of each PATH (of a folder at its top, of a file beside it),
    // one per folder: its key read, or a new one made. False, with the error
    // printed, when one cannot be read or a file of its name holds no key; then
    // nothing has been touched. A PATH that names nothing is left to the walk.
    bool Prepare(const std::vector<files::Named>& named);
    // Each decoder file that does not hold its script yet written, with a
    // line on standard output; in a dry run the line only. False, with the
    // error printed, when one cannot be written.
    bool Write(bool dryRun);
    // After the walk, before the threads start: each folder's setting, by the
    // decoder at the top of its PATH. The decoder files are the tool's own,
    // not files of the run; a file whose top folder is no longer the one read
    // gets an error line.
    void Settle(const std::deque<walk::FolderRecord>& folders, std::deque<walk::Task>& tasks, SiteOptions& options);
    // A line for standard error for each decoder file that holds its script:
    // the hash a Content-Security-Policy or an integrity attribute pins it by.
    std::string HashLines() const;

private:
    struct Decoder {
        files::Folder folder;
        std::string shown;  // PATH/quorvane-mail.js, as printed
        std::string key, script;
        bool existed = false;
        std::string before;  // the file's bytes when it existed
        bool onDisk = false;  // the file holds `script`
    };
    bool Fail(const std::string& shown, const std::string& error) const;

    std::vector<Decoder> decoders_;
    std::deque<site::StrongSetting> settings_;
    const std::string fallbackText_, fallbackUrl_;
};

#endif
