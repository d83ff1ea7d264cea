// The texts quorvane-code prints about itself: the short usage, the whole help and the version line.
#ifndef QUORVANE_CLI_USAGE_H
#define QUORVANE_CLI_USAGE_H

// The synopsis, for standard error after a usage error.
extern const char kUsage[];

// The synopsis with every option described, for --help on standard output.
extern const char kHelp[];

// "quorvane-code VERSION", for --version.
extern const char kVersionLine[];

#endif
