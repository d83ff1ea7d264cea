// The usage, help and version texts of quorvane-code, in one place.
#include "Usage.h"

// Written at build time from quorvane-code.txt, the text of the man page too.
#include "UsageText.h"

const char kUsage[] = QUORVANE_USAGE_TEXT;

const char kHelp[] = QUORVANE_HELP_TEXT;

const char kVersionLine[] = "quorvane-code " QUORVANE_VERSION "\n";
