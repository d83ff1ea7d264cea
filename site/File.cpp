// Every file a site publishes: its kind by name and first block, and what protecting and checking it mean for each kind.
#include <string.h>

#include <algorithm>

#include "Ascii.h"
#include "Check.h"
#include "Data.h"
#include "PageRules.h"
#include "Scan.h"
#include "Site.h"

namespace site {

namespace {

struct Suffix {
    const char* suffix;
    FileKind kind;
};

const Suffix kSuffixes[] = {
    {".html", FileKind::kPage},   {".htm", FileKind::kPage},     {".xhtml", FileKind::kXhtml},
    {".json", FileKind::kJson},   {".webmanifest", FileKind::kJson}, {".map", FileKind::kSourceMap},
    {".xml", FileKind::kXml},     {".rss", FileKind::kXml},      {".atom", FileKind::kXml},
    {".svg", FileKind::kXml},     {".js", FileKind::kScript},    {".mjs", FileKind::kScript},
    {".css", FileKind::kStyle},
};

// What a finding in an XML file names: a feed by its root element.
const char* XmlKind(std::string_view bytes) {
    XmlDocument document;
    std::string problem;
    if (!ReadXml(bytes, &document, &problem)) return "xml";
    const std::string root = ascii::Lowered(document.root);
    if (root == "rss" || root == "feed" || root == "rdf:rdf") return "feed";
    return root == "svg" ? "svg" : "xml";
}

const char* KindName(FileKind kind, std::string_view bytes) {
    switch (kind) {
        case FileKind::kJson: return "json";
        case FileKind::kSourceMap: return "source map";
        case FileKind::kXml: return XmlKind(bytes);
        case FileKind::kScript: return "script";
        case FileKind::kStyle: return "style";
        default: return "text";
    }
}

std::string Count(size_t n, const char* thing) { return std::to_string(n) + " " + thing + (n == 1 ? "" : "es"); }

// Writes each span anew with `rewrite`, every other byte kept; spans in order.
template <typename Rewrite>
void RewriteSpans(std::string_view bytes, const std::vector<Span>& spans, Rewrite rewrite, ProtectResult* result) {
    std::string& out = result->output;
    size_t copied = 0;
    for (const Span& span : spans) {
        out.append(bytes.substr(copied, span.begin - copied));
        const size_t at = out.size();
        rewrite(bytes.substr(span.begin, span.end - span.begin), &out);
        result->replaced.push_back({span.begin, span.end - span.begin, at, out.size() - at});
        copied = span.end;
    }
    out.append(bytes.substr(copied));
    result->values = spans.size();
}

// ASCII bytes as references; the UTF-8 bytes of an internationalised address stay, since a reference names a
// character, not a byte, and with its "@" as a reference no pattern reads the address.
void AppendReferences(std::string_view address, std::string* out) {
    for (unsigned char c : address) {
        if (c < 128) {
            out->append("&#").append(std::to_string(c)).push_back(';');
        } else {
            out->push_back(static_cast<char>(c));
        }
    }
}

// A JSON string that holds an address has each of its "@" written \u0040:
// every reader decodes it to the same value, and no address can be read in
// it any more (not even one that a first address's end had hidden).
void ProtectJson(std::string_view bytes, const std::vector<Span>& addresses, ProtectResult* result) {
    std::string problem;
    const std::vector<Span> strings = JsonStrings(bytes, &problem);
    if (!problem.empty()) {
        result->listed.push_back({LineCounter(bytes).LineAt(addresses.front().begin),
                                  "not valid JSON (" + problem + "): left as it is, with " +
                                      Count(addresses.size(), "readable address")});
        return;
    }
    std::vector<Span> holding;
    auto address = addresses.begin();
    for (const Span& string : strings) {
        while (address != addresses.end() && address->end <= string.begin) ++address;
        if (address != addresses.end() && address->begin < string.end) holding.push_back(string);
    }
    RewriteSpans(bytes, holding, [](std::string_view value, std::string* out) {
        for (char c : value) {
            if (c == '@') {
                out->append("\\u0040");
            } else {
                out->push_back(c);
            }
        }
    }, result);
}

// Each address in character data or an attribute value is written as
// character references, in a CDATA section between its own end and a new
// start; a reader of the XML gets the same text, and a feed reader the same
// HTML. An address in a comment or an instruction can take no escape.
void ProtectXml(std::string_view bytes, const std::vector<Span>& found, bool hideMailto, ProtectResult* result) {
    XmlDocument document;
    std::string problem;
    LineCounter lines(bytes);
    std::vector<Span> addresses = found;
    if (hideMailto) {
        for (size_t at = 0; (at = FindMailto(bytes, at)) != std::string_view::npos; at += 6) {
            if (at + 7 <= bytes.size() && bytes[at + 6] == ':') addresses.push_back({at, at + 7});
        }
        std::sort(addresses.begin(), addresses.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    }
    if (addresses.empty()) return;
    if (!ReadXml(bytes, &document, &problem)) {
        result->listed.push_back({lines.LineAt(addresses.front().begin),
                                  "not well-formed XML that this tool reads (" + problem + "): left as it is, with " +
                                      Count(addresses.size(), "readable address")});
        return;
    }
    std::vector<Span> rewritten;
    std::vector<bool> inCData;
    for (const Span& address : addresses) {
        auto part = std::upper_bound(document.parts.begin(), document.parts.end(), address.begin,
                                     [](size_t value, const XmlPart& p) { return value < p.begin; });
        const bool inside = part != document.parts.begin() && address.end <= (part - 1)->end;
        const XmlPart::Kind kind = inside ? (part - 1)->kind : XmlPart::kComment;
        if (kind == XmlPart::kComment || kind == XmlPart::kInstruction) {
            if (address.end - address.begin == 7 && bytes[address.begin + 6] == ':') continue;  // "mailto:" alone
            result->listed.push_back({lines.LineAt(address.begin),
                                      "an address in an XML comment or instruction, which takes no escape: " +
                                          std::string(bytes.substr(address.begin, address.end - address.begin))});
            continue;
        }
        rewritten.push_back(address);
        inCData.push_back(kind == XmlPart::kCData);
    }
    size_t next = 0;
    RewriteSpans(bytes, rewritten, [&](std::string_view address, std::string* out) {
        const bool cdata = inCData[next++];
        if (cdata) out->append("]]>");
        AppendReferences(address, out);
        if (cdata) out->append("<![CDATA[");
    }, result);
}

}  // namespace

FileKind KindOfFile(std::string_view name, std::string_view firstBlock) {
    if (ascii::EndsWithNoCase(name, ".doctree") || ascii::EndsWithNoCase(name, ".pickle")) return FileKind::kCache;
    // A page is a page whatever it holds: a browser shows it as one.
    for (const Suffix& suffix : kSuffixes) {
        if (ascii::EndsWithNoCase(name, suffix.suffix) && (suffix.kind == FileKind::kPage || suffix.kind == FileKind::kXhtml)) {
            return suffix.kind;
        }
    }
    if (!IsWide(ByteOrderMark(firstBlock).charset) &&
        memchr(firstBlock.data(), '\0', std::min(firstBlock.size(), kFirstBlockBytes)) != nullptr) {
        return FileKind::kBinary;
    }
    for (const Suffix& suffix : kSuffixes) {
        if (ascii::EndsWithNoCase(name, suffix.suffix)) return suffix.kind;
    }
    return FileKind::kText;
}

ProtectResult ProtectFile(FileKind kind, std::string_view bytes, const ProtectOptions& options) {
    if (kind == FileKind::kPage) return ProtectPage(bytes, options);
    ProtectResult result;
    std::string decoded;
    const char* name;
    const std::string_view text = ReadableText(bytes, &decoded, &name);
    const bool binary = kind == FileKind::kBinary || kind == FileKind::kCache;
    const std::vector<Span> addresses = FindAddresses(text, binary ? Letters::kAscii : Letters::kUtf8);
    const bool wide = name != nullptr;
    if (kind == FileKind::kCache) {
        result.listed.push_back({1, "a generator's cache, which a server publishes with the pages: keep it out of "
                                    "the published folder"});
    } else if (kind == FileKind::kXhtml && !wide && options.form != Form::kScript) {
        // Read as XML, as a browser reads a page served as XHTML: references decode in a script's text too.
        // The strong form writes references here as well: no markup is added to an XML document.
        ProtectXml(bytes, addresses, true, &result);
        if (options.form == Form::kStrong && result.values != 0) {
            result.listed.push_back({1, "true XHTML (*.xhtml): the strong form adds no markup to an XML document, so its "
                                        "addresses are written as references, which a collector that decodes them reads"});
        }
    } else if (kind == FileKind::kXhtml && (!addresses.empty() || HasMailto(text))) {
        result.listed.push_back({1, "true XHTML (*.xhtml), where document.write does not run: left whole, with " +
                                        Count(addresses.size(), "readable address")});
    } else if (kind == FileKind::kBinary && !addresses.empty()) {
        result.listed.push_back({LineCounter(text).LineAt(addresses.front().begin),
                                 Count(addresses.size(), "readable address") +
                                     " in a binary file (a PDF's links, an image's text): not rewritten; only the "
                                     "program that wrote it can keep them out"});
    } else if (addresses.empty() || kind == FileKind::kXhtml) {
    } else if (!wide && (kind == FileKind::kJson || kind == FileKind::kSourceMap)) {
        ProtectJson(bytes, addresses, &result);
    } else if (!wide && kind == FileKind::kXml) {
        ProtectXml(bytes, addresses, false, &result);
    } else {
        result.listed.push_back({LineCounter(text).LineAt(addresses.front().begin),
                                 Count(addresses.size(), "readable address") + " in a published " +
                                     KindName(kind, text) + " file" + (wide ? " in UTF-16 or UTF-32" : "") +
                                     ": only the program that wrote it can keep them out"});
    }
    if (!result.Changed()) result.output.assign(bytes.data(), bytes.size());
    return result;
}

std::vector<Finding> CheckFile(FileKind kind, std::string_view bytes) {
    if (kind == FileKind::kPage || kind == FileKind::kXhtml) return CheckPage(bytes);
    if (kind == FileKind::kBinary || kind == FileKind::kCache) {
        // Read as bytes, as a collector's pattern reads them: ASCII addresses only.
        std::vector<Placed> placed;
        const char* where = kind == FileKind::kBinary ? "binary file; not rewritten" : "a generator's cache";
        for (const Span& span : FindAddresses(bytes, Letters::kAscii)) placed.push_back({span, where});
        return Findings(bytes, std::move(placed));
    }
    std::string decoded;
    const std::string_view text = ReadableText(bytes, &decoded);
    std::vector<Placed> placed;
    for (const Span& span : FindAddresses(text)) placed.push_back({span, std::string()});
    if (!placed.empty()) {
        const std::string where = KindName(kind, text);
        for (Placed& p : placed) p.where = where;
    }
    return Findings(text, std::move(placed));
}

}  // namespace site
