// Protects the mailto links of whole HTML pages and finds addresses that still stand readable in them.
#ifndef QUORVANE_SITE_H
#define QUORVANE_SITE_H

#include <stddef.h>

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace site {

// One anchor or page left as it was, and why; line counts from 1.
struct Listed {
    size_t line;
    std::string reason;
    // The line in the output, where the code before it took more lines; 0 when the same.
    size_t lineAfter = 0;
};

// The caps of the HTML parser that the script form runs; a page past one is
// left whole, with the reason. Each counts work, not time, so that a page
// gets the same on every machine: bytes, the open elements each token scans,
// the memory of the tree, and the attribute names that the parser compares
// with each other for duplicates (a tag of n attributes costs n * (n - 1) / 2).
// Real pages stay far below them (the README gives the largest values seen).
// The default form reads every page without a tree, in time linear in its bytes.
enum class Cap { kNone, kPageSize, kDepth, kMemory, kAttributes };
constexpr size_t kMaxPageBytes = size_t(64) << 20;
constexpr unsigned kMaxDepth = 512;  // open elements; a browser flattens trees from 512 on
constexpr size_t kMemoryCapBase = size_t(64) << 20;
constexpr size_t kMemoryCapPerByte = 32;
constexpr unsigned long long kAttributePairsBase = 1000000;
constexpr unsigned long long kAttributePairsPerByte = 4;
size_t MemoryCap(size_t pageBytes);
unsigned long long AttributePairsCap(size_t pageBytes);
// The most addresses one mailto href may hold for the script form, which looks for each in the link's text.
constexpr size_t kMaxHrefAddresses = 64;

// How --protect hides a page's addresses.
enum class Form {
    // Each address and "mailto:" in text, RCDATA and attribute values
    // written as character references, where they stand; nothing inserted.
    kReferences,
    // Each mailto anchor replaced by the mail code: a NOSCRIPT anchor and a
    // script that writes the link from pieces.
    kScript,
    // Each address and "mailto:" that a script can put back for visitors
    // sealed with the site's key, for the site's one decoder script; the
    // rest as in the default form.
    kStrong,
};

// What the strong form needs besides the page.
struct StrongSetting {
    std::string key;           // the site's key: kStrongKeyBytes bytes
    std::string decoderUrl;    // the decoder as this page refers to it (relative), as a URL
    std::string fallbackText;  // shown without JavaScript where an address stood (UTF-8)
    std::string fallbackUrl;   // the href of a mail link without JavaScript; none when empty
};
constexpr size_t kStrongKeyBytes = 32;
// The file name of the decoder script, at the top of each folder protected.
constexpr char kDecoderName[] = "quorvane-mail.js";
constexpr char kDefaultFallbackText[] = "(e-mail address)";

// The memory one page's work takes beyond its bytes: for the default form
// and --check its output, at most seven bytes for each of its own, and what
// the reader notes; for the script form the parser's cap and the code.
size_t WorkMemory(size_t pageBytes, Form form);

struct ProtectOptions {
    Form form = Form::kReferences;
    // Addresses left readable on purpose, in lower case; counted apart.
    const std::unordered_set<std::string>* accepted = nullptr;
    // For Form::kStrong, and only then; never null with it.
    const StrongSetting* strong = nullptr;
};

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
    // Anchors whose href was rewritten (or, in the script form, replaced by the mail code).
    size_t rewritten = 0;
    // Other values in which addresses were hidden: text runs and attribute
    // values of pages, strings of JSON, text and attribute values of XML.
    size_t values = 0;
    // Addresses left readable because they were accepted, or stand in an <!--email_off--> region.
    size_t accepted = 0;
    size_t optedOut = 0;
    // True when the whole page was left alone (its reason is in `listed`).
    bool pageLeft = false;
    // The strong form: the page now refers to the site's decoder script, which every page of the site
    // does, so that content a visitor reaches by client-side navigation is put back too.
    bool decoderAdded = false;
    bool Changed() const { return rewritten != 0 || values != 0 || decoderAdded; }
    std::vector<Listed> listed;
    // Each replaced anchor, in page order.
    std::vector<Replaced> replaced;
    // The parser cap that left the page whole, if one did.
    Cap cap = Cap::kNone;
    // Bytes the parse took from the system (0 when the page was not parsed).
    size_t parserMemory = 0;
};

// Rewrites the mailto anchors of one page of HTML (the bytes of a *.html or
// *.htm file). Never fails: what it cannot take it lists. A page without
// "mailto" (in any letter case, its letters plain or as references; the
// code's own NOSCRIPT anchors aside) and without an address comes back
// unchanged without a parse.
//
// Taken: an <a> in the page's content (not in a template, noscript, option,
// SVG or MathML, nor between <!--email_off--> and <!--/email_off-->) that
// the parser built from its own start and end tag, whose href reads, once
// decoded, as mailto: with one or more plain addresses and any query; with
// content that holds no anchor, nothing the parser rebuilt, no noscript
// markup and no NUL. It becomes the mail code for its addresses and content
// (each address in the content written as decimal character references),
// with its query and other attributes carried into both parts, with the
// page's own line ends and none where one would show as a space. Every other
// mailto anchor that is a link gets its reason, and so does each address
// left readable outside the anchors taken. Left whole, with the reason: a
// page whose Content-Security-Policy meta stops inline scripts, a page in
// UTF-16 or UTF-32, in a double-byte charset (Shift_JIS, GBK and GB2312,
// GB18030, Big5) or any other charset that is neither UTF-8 nor single-byte,
// a page that declares no charset (byte-order mark or meta) and holds bytes
// above 127, and a page past one of the parser's caps or whose code would
// not fit in its memory cap.
//
// That is the script form (Form::kScript). The default form (Form::kReferences)
// changes no markup: every address and every "mailto:" that stands in text,
// RCDATA (title, textarea) or an attribute value, where the parser decodes
// character references, is written as decimal references, byte for byte,
// ASCII bytes only; the page reads the same to browsers, scripts, style
// sheets and screen readers. Addresses in scripts, style sheets, comments and
// CDATA, in an <!--email_off--> region, after SVG or MathML markup that the
// reader cannot follow as a browser does, and in a page whose charset changes
// what ASCII bytes mean, are listed.
ProtectResult ProtectPage(std::string_view page, const ProtectOptions& options = ProtectOptions());

// An e-mail address readable in the page's raw bytes.
struct Finding {
    size_t line;
    std::string where;    // "text", "attribute href", "script", "comment", ...
    std::string address;  // the address as it stands
};

// Every address that stands readable in the page's bytes, in page order.
// An address here is LOCAL@DOMAIN as collectors match it: LOCAL is the run
// of letters, digits and . _ % + - before the "@" (leading dots dropped);
// DOMAIN is two or more labels of letters, digits and hyphens joined by
// single dots, whose last label is 2 to 63 letters or an internationalised
// top-level domain in ASCII (xn--p1ai), and not a file-name extension that
// names no top-level domain (png, jpg, svg, css, js, json, html, pdf, ...;
// md and map are domains). So name@2x.png (a
// file), package@1.2.3 (a version) and user@host (no dot) do not count, and
// neither does an address with its "@" or a dot written as a character
// reference (x&#64;example.org). A page without such text is not parsed.
std::vector<Finding> CheckPage(std::string_view page);

// What a file that a web server would serve is, to the site commands.
enum class FileKind {
    kPage,       // *.html, *.htm
    kXhtml,      // *.xhtml: read, never rewritten
    kJson,       // *.json, *.webmanifest: addresses hidden with \u0040
    kSourceMap,  // *.map, JSON too
    kXml,        // *.xml, *.rss, *.atom, *.svg: feeds and the like, addresses hidden as references
    kScript,     // *.js, *.mjs
    kStyle,      // *.css
    kText,       // anything else that holds no NUL in its first block
    kCache,      // a generator's cache (*.doctree, *.pickle), which only it can keep out
    kBinary,     // a NUL in its first block: images, fonts, archives
};

// How much of a file's start decides that it is binary.
constexpr size_t kFirstBlockBytes = 4096;

// The kind of a file by its name and its first block (a NUL there makes
// any but a page binary; a UTF-16 or UTF-32 byte-order mark keeps it text).
FileKind KindOfFile(std::string_view name, std::string_view firstBlock);

// Protects any file a site publishes: a page as ProtectPage does, with each
// address it leaves readable listed too; in a JSON or XML file, each address
// in a value is written with escapes that every reader of the format decodes
// to the same value (rewritten counts them; a file that is not well-formed
// is left and listed); any other file that holds readable addresses is
// listed, since only the program that wrote it can keep them out.
ProtectResult ProtectFile(FileKind kind, std::string_view bytes, const ProtectOptions& options = ProtectOptions());

// Every readable address in a file: a page's by the part of it each stands
// in, another's named by its kind ("feed", "json", "script", "text", ...).
// Binary files and caches are not read.
std::vector<Finding> CheckFile(FileKind kind, std::string_view bytes);

}  // namespace site

#endif
