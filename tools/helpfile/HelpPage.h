// Writes a parsed topic source as one self-contained HTML page, for systems that no longer show WinHelp files.
#ifndef QUORVANE_HELPPAGE_H
#define QUORVANE_HELPPAGE_H

#include <string>

#include "HelpSource.h"

// The page: the help title, a list of the topics linking to them, and each
// topic with its heading and paragraphs, anchored by its context name. The
// style sheet is inline and there is no script or other file to load. The
// source must have passed ParseHelpSource. Lines end with CR LF.
std::string BuildHelpPage(const HelpSource& source);

#endif
