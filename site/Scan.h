// Byte scans that run before any parse: the word "mailto", addresses, line ends and line numbers.
#ifndef QUORVANE_SITE_SCAN_H
#define QUORVANE_SITE_SCAN_H

#include <stddef.h>

#include <string_view>
#include <vector>

namespace site {

// Where the word "mailto" next stands in plain letters, in any letter case,
// from `from` on; npos when nowhere.
size_t FindMailto(std::string_view bytes, size_t from);

// True when "mailto" stands in the bytes in any letter case, its letters
// plain or written as numeric character references (m&#97;ilto), other than
// in the NOSCRIPT anchor of the code in a page's form, as MailCodeMarks.h
// gives its start (<NOSCRIPT><A HREF="MAILTO:).
bool HasMailto(std::string_view bytes);

struct Span {
    size_t begin;
    size_t end;
};

// Which bytes above 127 an address may hold: UTF-8 letters (internationalised
// local parts and domains, RFC 6531), or none, where the text may be in a
// charset whose bytes above 127 are not UTF-8.
enum class Letters { kUtf8, kAscii };

// Every address in `bytes` by the rule in Site.h, in order, as offsets into `bytes`.
std::vector<Span> FindAddresses(std::string_view bytes, Letters letters = Letters::kUtf8);

// The page's line end: that of its first line, LF when it has none.
std::string_view LineEnd(std::string_view page);

// Line numbers (from 1) of offsets, counted forward from the last one asked.
class LineCounter {
public:
    LineCounter(std::string_view page);
    size_t LineAt(size_t offset);

private:
    std::string_view page_;
    char counted_;
    size_t offset_ = 0;
    size_t line_ = 1;
};

}  // namespace site

#endif
