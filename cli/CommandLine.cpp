// Reads quorvane-code's options and operands into one CommandLine.
#include "CommandLine.h"

#include <string.h>

namespace {

bool IsOption(const char* arg) { return arg[0] == '-' && arg[1] != '\0'; }

const unsigned kMostJobs = 256;

// N of --jobs N, from 1 to kMostJobs; 0 when it is not such a number.
unsigned Jobs(const char* text) {
    unsigned n = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9' || (n = n * 10 + static_cast<unsigned>(*c - '0')) > kMostJobs) return 0;
    }
    return n;
}

// The jobs and options asked for, which CommandLine does not keep.
struct Asked {
    bool protect = false, check = false, help = false, version = false, form = false;
};

// The option at argv[i], with its operand when it takes one (i moves past it).
// False on an unknown option or a wrong operand.
bool ReadOption(int argc, char** argv, int& i, CommandLine& line, Asked& asked, std::string& error) {
    const char* option = argv[i];
    if (strcmp(option, "--protect") == 0) asked.protect = true;
    else if (strcmp(option, "--check") == 0) asked.check = true;
    else if (strcmp(option, "--dry-run") == 0) line.dryRun = true;
    else if (strcmp(option, "--help") == 0 || strcmp(option, "-h") == 0) asked.help = true;
    else if (strcmp(option, "--version") == 0) asked.version = true;
    else if (strcmp(option, "--form") == 0 || strncmp(option, "--form=", 7) == 0) {
        const char* form = option[6] == '=' ? option + 7 : i + 1 < argc ? argv[++i] : "";
        if (strcmp(form, "references") != 0 && strcmp(form, "script") != 0 && strcmp(form, "strong") != 0) {
            error = "--form takes references, script or strong";
            return false;
        }
        line.form = form;
        asked.form = true;
    } else if (strcmp(option, "--accept") == 0 || strcmp(option, "--accept-file") == 0 ||
               strcmp(option, "--fallback-text") == 0 || strcmp(option, "--fallback-url") == 0) {
        if (i + 1 == argc) {
            error = std::string(option) + " wants its operand";
            return false;
        }
        if (strcmp(option, "--accept") == 0) line.accepted.push_back(argv[++i]);
        else if (strcmp(option, "--accept-file") == 0) line.acceptFiles.push_back(++i);
        // Kept as indexes: on Windows the text is read again from the wide command line.
        else (option[11] == 't' ? line.fallbackText : line.fallbackUrl) = ++i;
    } else if (strcmp(option, "--jobs") == 0 || strncmp(option, "--jobs=", 7) == 0) {
        const char* n = option[6] == '=' ? option + 7 : i + 1 < argc ? argv[++i] : "";
        if ((line.jobs = Jobs(n)) == 0) {
            error = "--jobs takes a number from 1 to " + std::to_string(kMostJobs);
            return false;
        }
    } else {
        error = std::string("unknown option ") + option;
        return false;
    }
    return true;
}

// The options that go with one job only; the first one out of place is the error.
bool OptionsFitTheJob(const CommandLine& line, const Asked& asked, std::string& error) {
    if (asked.protect && asked.check) error = "--protect and --check do not go together";
    else if (line.dryRun && !asked.protect) error = "--dry-run goes with --protect only";
    else if ((!line.accepted.empty() || !line.acceptFiles.empty()) && !asked.check && !asked.protect)
        error = "--accept and --accept-file go with --protect and --check only";
    else if (asked.form && !asked.protect) error = "--form goes with --protect only";
    else if ((line.fallbackText || line.fallbackUrl) && line.form != "strong")
        error = "--fallback-text and --fallback-url go with --form strong only";
    else if (line.jobs && !asked.protect && !asked.check) error = "--jobs goes with --protect and --check only";
    return error.empty();
}

}  // namespace

bool ReadCommandLine(int argc, char** argv, CommandLine& line, std::string& error) {
    Asked asked;
    int i = 1;
    for (; i < argc && IsOption(argv[i]); ++i) {
        if (strcmp(argv[i], "--") == 0) {
            ++i;
            break;
        }
        if (!ReadOption(argc, argv, i, line, asked, error)) return false;
    }
    line.firstOperand = i;
    line.operandCount = argc - i;
    // Asked for help or the version, the tool gives it whatever else stands there.
    if (asked.help || asked.version) {
        line.job = asked.help ? Job::Help : Job::Version;
        return true;
    }
    if (!OptionsFitTheJob(line, asked, error)) return false;
    if (asked.protect || asked.check) {
        line.job = asked.protect ? Job::Protect : Job::Check;
        if (line.operandCount == 0) error = "no PATH given";
        return line.operandCount != 0;
    }
    line.job = Job::Code;
    if (line.operandCount != 2) error = "ADDRESS and LINKTEXT expected";
    return line.operandCount == 2;
}
