// The pieces of the mail code by which a reader of pages tells it from a page's own markup; the generator writes them from here.
#ifndef QUORVANE_MAILCODEMARKS_H
#define QUORVANE_MAILCODEMARKS_H

// The NOSCRIPT part's start tag. In a page's form the anchor follows it
// directly; in Crypt's form a line end stands between them.
inline constexpr char kMailCodeNoScriptStart[] = "<NOSCRIPT>";
// The NOSCRIPT anchor up to its address, which follows as references, each
// opening with kMailCodeReferenceStart (an empty address: the closing quote).
inline constexpr char kMailCodeAnchorStart[] = "<A HREF=\"MAILTO:";
inline constexpr char kMailCodeReferenceStart[] = "&#";
inline constexpr char kMailCodeScriptStart[] = "<SCRIPT LANGUAGE=JAVASCRIPT>";

#endif
