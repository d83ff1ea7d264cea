// The usage, help and version texts of quorvane-code, in one place.
#include "Usage.h"

#define SYNOPSIS                                                \
    "usage: quorvane-code ADDRESS LINKTEXT\n"                   \
    "       quorvane-code --protect [--dry-run] PATH...\n"      \
    "       quorvane-code --check PATH...\n"                    \
    "       quorvane-code --help | --version\n"

const char kUsage[] = SYNOPSIS;

const char kHelp[] =
    SYNOPSIS
    "\n"
    "ADDRESS LINKTEXT\n"
    "  Prints the mail code for one address and link text, byte for byte as Crypt\n"
    "  makes it. When either is empty it prints nothing and exits with 3.\n"
    "\n"
    "--protect [--dry-run] PATH...\n"
    "  Rewrites the mailto links of HTML pages in place. Each anchor of the form\n"
    "  <a href=\"mailto:ADDRESS\">TEXT</a> in a page's ordinary content becomes the\n"
    "  mail code for ADDRESS and TEXT; every other byte of the page stays as it was.\n"
    "  Anchors and pages left as they are get a line each, FILE:LINE: reason (other\n"
    "  attributes, a query such as ?subject=, an opt-out region between\n"
    "  <!--email_off--> and <!--/email_off-->, a page without a declared charset,\n"
    "  ...), and each changed page a line FILE: N anchors rewritten. A second run\n"
    "  changes nothing. --dry-run reports the same and writes nothing.\n"
    "  A changed page goes to a new file beside it, which is flushed to disk and\n"
    "  then put in its place in one step, with the page's permissions (and, for\n"
    "  root, its owner); a page with more than one hard link, or named through a\n"
    "  symbolic link, is listed instead, since that step would split the links.\n"
    "  A page with nothing to rewrite is not written at all.\n"
    "  Exit status: 0 when every file was done, 1 when a file could not be read or\n"
    "  written (one line each on standard error; the other files are still done).\n"
    "\n"
    "--check PATH...\n"
    "  Writes nothing. Lists every e-mail address that stands readable in a page's\n"
    "  raw bytes, wherever it stands (text, attribute values, scripts, comments,\n"
    "  JSON-LD), as FILE:LINE: where: address. It stands for the collectors that\n"
    "  read a page's source bytes with a pattern, the common kind. It does not stand\n"
    "  for collectors that decode character references or run the page's scripts:\n"
    "  addresses written as character references, such as those in the mail code,\n"
    "  are not listed, and such collectors may still find them.\n"
    "  An address is a local part of letters, digits and . _ % + -, an @, and a\n"
    "  domain of two or more labels of letters, digits and hyphens, the last of\n"
    "  2 to 63 letters and not a file type (png, css, ...): name@2x.png,\n"
    "  package@1.2.3 and user@host do not count.\n"
    "  Exit status as grep's: 0 none found, 1 some found, 2 a file could not be\n"
    "  read.\n"
    "\n"
    "PATH is a file, or a folder in which every *.html and *.htm file is taken,\n"
    "recursively (--check also takes *.xhtml). Symbolic links met inside a folder\n"
    "(on Windows also junctions) are not followed. True XHTML (*.xhtml), where\n"
    "scripts cannot write into the page, is never rewritten. The listing goes to\n"
    "standard output, the summary and errors to standard error; on Windows, paths\n"
    "print as UTF-8 to a pipe or file and as wide characters to a console.\n";

const char kVersionLine[] = "quorvane-code " QUORVANE_VERSION "\n";
