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

}  // namespace

bool ReadCommandLine(int argc, char** argv, CommandLine& line, std::string& error) {
    bool protect = false, check = false, help = false, version = false, formGiven = false;
    int i = 1;
    for (; i < argc && IsOption(argv[i]); ++i) {
        const char* option = argv[i];
        if (strcmp(option, "--") == 0) {
            ++i;
            break;
        }
        if (strcmp(option, "--protect") == 0) protect = true;
        else if (strcmp(option, "--check") == 0) check = true;
        else if (strcmp(option, "--dry-run") == 0) line.dryRun = true;
        else if (strcmp(option, "--help") == 0 || strcmp(option, "-h") == 0) help = true;
        else if (strcmp(option, "--version") == 0) version = true;
        else if (strcmp(option, "--form") == 0 || strncmp(option, "--form=", 7) == 0) {
            const char* form = option[6] == '=' ? option + 7 : i + 1 < argc ? argv[++i] : "";
            if (strcmp(form, "references") != 0 && strcmp(form, "script") != 0) {
                error = "--form takes references or script";
                return false;
            }
            line.form = form;
            formGiven = true;
        } else if (strcmp(option, "--accept") == 0 || strcmp(option, "--accept-file") == 0) {
            if (i + 1 == argc) {
                error = std::string(option) + " wants its operand";
                return false;
            }
            if (option[8] == '\0') line.accepted.push_back(argv[++i]);
            else line.acceptFiles.push_back(++i);
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
    }
    line.firstOperand = i;
    line.operandCount = argc - i;
    // Asked for help or the version, the tool gives it whatever else stands there.
    if (help || version) {
        line.job = help ? Job::Help : Job::Version;
        return true;
    }
    if (protect && check) {
        error = "--protect and --check do not go together";
        return false;
    }
    if (line.dryRun && !protect) {
        error = "--dry-run goes with --protect only";
        return false;
    }
    if ((!line.accepted.empty() || !line.acceptFiles.empty()) && !check && !protect) {
        error = "--accept and --accept-file go with --protect and --check only";
        return false;
    }
    if (formGiven && !protect) {
        error = "--form goes with --protect only";
        return false;
    }
    if (line.jobs && !protect && !check) {
        error = "--jobs goes with --protect and --check only";
        return false;
    }
    if (protect || check) {
        line.job = protect ? Job::Protect : Job::Check;
        if (line.operandCount == 0) error = "no PATH given";
        return line.operandCount != 0;
    }
    line.job = Job::Code;
    if (line.operandCount != 2) error = "ADDRESS and LINKTEXT expected";
    return line.operandCount == 2;
}
