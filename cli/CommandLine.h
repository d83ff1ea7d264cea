// quorvane-code's command line: which job it asks for, with its options and operands.
#ifndef QUORVANE_CLI_COMMANDLINE_H
#define QUORVANE_CLI_COMMANDLINE_H

#include <string>
#include <vector>

enum class Job { Code, Protect, Check, Help, Version };

struct CommandLine {
    Job job = Job::Code;
    bool dryRun = false;
    // --form of --protect: "references" (the default), "script", "strong".
    std::string form = "references";
    // The argv indexes of --fallback-text TEXT and --fallback-url URL (strong form); 0 when not given.
    int fallbackText = 0;
    int fallbackUrl = 0;
    // Addresses known to be public, from --accept ADDRESS, and the
    // argv indexes of --accept-file FILE (one address a line).
    std::vector<std::string> accepted;
    std::vector<int> acceptFiles;
    // --jobs N: files done at once; 0 when not given.
    unsigned jobs = 0;
    // argv index of the first operand: ADDRESS for Code, the first PATH for the site commands.
    int firstOperand = 0;
    int operandCount = 0;
};

// Options come first, then the operands; "--" ends the options, so that an
// operand may start with "-". False on a usage error, with `error` saying
// what is wrong in a few words.
bool ReadCommandLine(int argc, char** argv, CommandLine& line, std::string& error);

#endif
