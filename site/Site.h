// Protects the mailto links of whole HTML pages and finds addresses that still stand readable in them.
#ifndef QUORVANE_SITE_H
#define QUORVANE_SITE_H

#include <stddef.h>

#include <string>
#include <string_view>
#include <vector>

namespace site {

// One anchor or page left as it was, and why; line counts from 1.
struct Listed {
    size_t line;
    std::string reason;
};

// The caps of the HTML parser; a page past one is left whole, with the
// reason. Ordinary HTML needs about a tenth of the memory cap and parses at
// 28-50 MB/s, so that any page of up to kMaxPageBytes of it is taken; the
// caps stop what would grow faster than the page: deep nesting (each token
// scans the open elements) and the clones of misnested formatting elements.
enum class Cap { kNone, kPageSize, kDepth, kMemory, kTime };
constexpr size_t kMaxPageBytes = size_t(64) << 20;
constexpr unsigned kMaxDepth = 512;  // open elements; a browser flattens trees from 512 on
constexpr size_t kMemoryCapBase = size_t(64) << 20;
constexpr size_t kMemoryCapPerByte = 24;
constexpr unsigned long long kTimeCapBaseMs = 2000;
constexpr unsigned long long kTimeCapMsPerMiB = 1000;
size_t MemoryCap(size_t pageBytes);
unsigned long long TimeCapMilliseconds(size_t pageBytes);

// Where one anchor was replaced: its bytes in the input, and the code that took their place in the output.
struct Replaced {
    size_t inputOffset;
    size_t inputLength;
    size_t outputOffset;
    size_t outputLength;
};

struct ProtectResult {
    // The page to write: the input with each taken anchor replaced by the
    // mail code. Equal to the input when nothing was taken.
    std::string output;
    // Anchors replaced by the mail code.
    size_t rewritten = 0;
    // True when the whole page was left alone (its reason is in `listed`).
    bool pageLeft = false;
    std::vector<Listed> listed;
    // Each replaced anchor, in page order.
    std::vector<Replaced> replaced;
    // The parser cap that left the page whole, if one did.
    Cap cap = Cap::kNone;
    // Bytes the parse took from the system (0 when the page was not parsed).
    size_t parserMemory = 0;
};

// Rewrites the mailto anchors of one page of HTML (the bytes of a *.html or
// *.htm file). Never fails: what it cannot take it lists.
ProtectResult ProtectPage(std::string_view page);

// An e-mail address readable in the page's raw bytes.
struct Finding {
    size_t line;
    std::string where;    // "text", "attribute href", "script", "comment", ...
    std::string address;  // the address as it stands
};

std::vector<Finding> CheckPage(std::string_view page);

}  // namespace site

#endif
