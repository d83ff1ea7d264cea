// Protects one page: in the default form by references where each address stands; in the script form by gathering its facts in one walk, deciding for the page and for each anchor, and splicing the code in.
#include <string.h>

#include <algorithm>

#include "Anchor.h"
#include "Ascii.h"
#include "Check.h"
#include "Facts.h"
#include "MailCode.h"
#include "PageRules.h"
#include "Parse.h"
#include "Places.h"
#include "References.h"
#include "Scan.h"
#include "Site.h"
#include "Strong.h"

namespace site {

namespace {

bool HasByteAbove127(std::string_view bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) > 127; });
}

class Protector {
public:
    Protector(std::string_view page, ProtectResult* result) : page_(page), result_(result) {}

    void Run();

private:
    bool WideCharset();
    bool LeftBeforeTheParse(const std::vector<Span>& addresses);
    bool Capped(const Parse& parse);
    bool LeftForCharsetOrPolicy(const PageFacts& facts);
    void Decide(const Parse& parse, const PageFacts& facts, std::vector<AnchorCode>* taken);
    void ListDropped(const PageFacts& facts);
    void Splice(const std::vector<AnchorCode>& taken);
    void ListReadable(const std::vector<Placed>& readable);
    void Finish();

    void List(size_t offset, std::string reason) { listed_.push_back({offset, std::move(reason)}); }
    void LeavePage(size_t offset, std::string reason) {
        result_->pageLeft = true;
        List(offset, std::move(reason));
    }

    std::string_view page_;
    ProtectResult* result_;
    // Offsets of what is listed; turned into line numbers in one pass at the end.
    std::vector<std::pair<size_t, std::string>> listed_;
    // The start tags of the anchors listed: their addresses have their line.
    std::vector<Span> listedTags_;
    bool utf8_ = false;
};

void Protector::Run() {
    if (WideCharset()) return Finish();
    const bool mailto = HasMailto(page_);
    const std::vector<Span> addresses = FindAddresses(page_);
    if (!mailto && addresses.empty()) return Finish();
    if (mailto && LeftBeforeTheParse(addresses)) return Finish();
    std::vector<AnchorCode> taken;
    if (mailto) {
        // The parse goes before the splice: the codes need only the page's own bytes.
        Parse parse(page_);
        result_->parserMemory = parse.MemoryUsed();
        result_->cap = parse.CapReached();
        if (!Capped(parse)) {
            PageFacts facts;
            GatherFacts(parse, page_, &facts);
            ListDropped(facts);
            if (!facts.anchors.empty() && !LeftForCharsetOrPolicy(facts)) Decide(parse, facts, &taken);
        }
    }
    const std::vector<Placed> readable = PlaceAddresses(page_);
    Splice(taken);
    // A page left whole has its line; each address in it stands as it stood.
    if (!result_->pageLeft) ListReadable(readable);
    Finish();
}

// A page in UTF-16 or UTF-32 is read in its own encoding for the word "mailto" and for addresses; the code is not written in it.
bool Protector::WideCharset() {
    std::string decoded;
    const char* wide;
    const std::string_view text = ReadableText(page_, &decoded, &wide);
    if (wide == nullptr) return false;
    if (HasMailto(text) || !FindAddresses(text).empty()) {
        LeavePage(0, std::string("the page is in ") + wide +
                         " (byte-order mark): the code is written into UTF-8 and single-byte pages only");
    }
    return true;
}

// What the stream reader tells before gumbo runs: a tag whose attributes
// would cost the parser's duplicate check more than its cap, and a page that
// loads its next pages by script, into which the code's document.write would
// write a new document.
bool Protector::LeftBeforeTheParse(const std::vector<Span>& addresses) {
    PageReading reading;
    ReadPlaces(page_, addresses, &reading);
    if (reading.attributePairs > AttributePairsCap(page_.size())) {
        result_->cap = Cap::kAttributes;
        LeavePage(0, "its tags hold more attributes than the parser's limit for the page's size (" +
                         std::to_string(reading.attributePairs) + " pairs to compare)");
        return true;
    }
    if (!reading.instantNavigation.empty()) {
        LeavePage(reading.instantNavigationOffset,
                  "the page loads its next pages by script (" + reading.instantNavigation +
                      "): the script form's document.write would replace them; the default form takes it");
        return true;
    }
    return false;
}

bool Protector::Capped(const Parse& parse) {
    switch (parse.CapReached()) {
        case Cap::kNone: return false;
        case Cap::kPageSize:
            LeavePage(0, "the page is larger than the parser's limit of " + std::to_string(kMaxPageBytes >> 20) + " MiB");
            break;
        case Cap::kDepth:
            LeavePage(0, "elements nest deeper than the parser's limit of " + std::to_string(kMaxDepth));
            break;
        case Cap::kMemory: LeavePage(0, "the parse took more memory than the parser's limit for the page's size"); break;
        case Cap::kAttributes: break;  // decided before the parse
    }
    return true;
}

bool Protector::LeftForCharsetOrPolicy(const PageFacts& facts) {
    const Charset charset = ByteOrderMark(page_).charset == Charset::kUtf8 ? Charset::kUtf8 : facts.charset;
    if (facts.policyForbids) {
        LeavePage(facts.policyOffset, "its Content-Security-Policy forbids inline scripts: visitors would see no link");
    } else if (charset == Charset::kDoubleByte) {
        LeavePage(facts.charsetOffset,
                  "charset " + ascii::Printable(facts.charsetName) + ": its double-byte characters can end in a backslash byte");
    } else if (charset == Charset::kOther || charset == Charset::kMultiByte) {
        LeavePage(facts.charsetOffset, "charset " + ascii::Printable(facts.charsetName) + " is neither UTF-8 nor a single-byte charset");
    } else if (charset == Charset::kUndeclared && HasByteAbove127(page_)) {
        LeavePage(0, "no charset declared (byte-order mark or meta charset) and bytes above 127: a browser "
                     "guesses the charset, and a rewrite can change its guess");
    } else {
        utf8_ = charset == Charset::kUtf8 || !HasByteAbove127(page_);
        return false;
    }
    return true;
}

void Protector::Decide(const Parse& parse, const PageFacts& facts, std::vector<AnchorCode>* taken) {
    const AnchorRules rules(page_, parse, facts, utf8_);
    for (const MailtoAnchor& anchor : facts.anchors) {
        AnchorCode code;
        const Decision decision = rules.Decide(anchor, &code);
        if (decision.verdict == Verdict::kTaken) taken->push_back(std::move(code));
        if (decision.verdict == Verdict::kListed) {
            // On the line of the first address in its tag, where --check names it, as a tag may span lines.
            const std::string_view tag = page_.substr(anchor.start, anchor.node->v.element.original_tag.length);
            const std::vector<Span> inTag = FindAddresses(tag);
            List(anchor.start + (inTag.empty() ? 0 : inTag.front().begin), decision.reason);
            listedTags_.push_back({anchor.start, anchor.start + anchor.node->v.element.original_tag.length});
        }
    }
}

// A "mailto" in a tag that became no node: an <a> the parser dropped, which
// a browser may still build (newer browsers keep an <a> inside a <select>).
void Protector::ListDropped(const PageFacts& facts) {
    // The last "<" and ">" before each "mailto", found going forward, so
    // that the scan stays linear however many of them a text holds.
    size_t scanned = 0, lastOpen = std::string_view::npos, lastClose = std::string_view::npos;
    for (size_t from = 0, at; (at = FindMailto(page_, from)) != std::string_view::npos;) {
        from = at + 6;
        const PageFacts::Part* part = facts.PartAt(at);
        if (part != nullptr && !part->markupText) continue;
        for (; scanned < at; ++scanned) {
            if (page_[scanned] == '<') lastOpen = scanned;
            if (page_[scanned] == '>') lastClose = scanned;
        }
        if (lastOpen == std::string_view::npos || (lastClose != std::string_view::npos && lastClose > lastOpen) ||
            (part != nullptr && lastOpen < part->begin)) {
            continue;
        }
        const std::string_view name = page_.substr(lastOpen, 3);
        if (!ascii::StartsWithNoCase(name, "<a") || name.size() < 3 ||
            !(ascii::IsBlank(name[2]) || name[2] == '/' || name[2] == '>')) {
            continue;
        }
        const size_t close = page_.find('>', at);
        const size_t end = close == std::string_view::npos ? page_.size() : close + 1;
        List(lastOpen, "an <a> that this parser drops (as inside a <select>), but a browser may show as a link");
        listedTags_.push_back({lastOpen, end});
        from = end;  // the rest of the tag says no more
    }
}

// The codes in page order, an overlap listed instead: counted first, so
// that the output is made once at its exact size, and only when it fits
// in the page's memory cap.
void Protector::Splice(const std::vector<AnchorCode>& taken) {
    if (taken.empty()) return;
    const std::string_view lineEnd = LineEnd(page_);
    std::vector<const AnchorCode*> order;
    for (const AnchorCode& code : taken) order.push_back(&code);
    std::sort(order.begin(), order.end(), [](const AnchorCode* a, const AnchorCode* b) { return a->start < b->start; });
    const auto write = [&](char* out, const AnchorCode& code) {
        const PageForm form = {ByteView(lineEnd.data(), lineEnd.size()),
                               ByteView(code.href.tail.data(), code.href.tail.size()), code.attributes.data(),
                               code.attributes.size()};
        return WritePageCode(out, ByteView(code.href.addresses.data(), code.href.addresses.size()),
                             ByteView(code.linkText.data(), code.linkText.size()), form);
    };
    std::vector<const AnchorCode*> spliced;
    size_t copied = 0, size = 0;
    for (const AnchorCode* code : order) {
        if (code->start < copied) {
            List(code->start, "overlaps another anchor");
            continue;
        }
        const size_t codeSize = write(nullptr, *code);
        size += code->start - copied;
        if (codeSize > MemoryCap(page_.size()) || size + codeSize > MemoryCap(page_.size())) {
            LeavePage(0, "the code for its anchors would take more memory than the limit for the page's size");
            return;
        }
        size += codeSize;
        copied = code->end;
        spliced.push_back(code);
    }
    std::string& out = result_->output;
    out.resize(size + (page_.size() - copied));
    size_t at = 0;
    copied = 0;
    for (const AnchorCode* code : spliced) {
        out.replace(at, code->start - copied, page_.substr(copied, code->start - copied));
        at += code->start - copied;
        const size_t codeSize = write(&out[at], *code);
        result_->replaced.push_back({code->start, code->end - code->start, at, codeSize});
        at += codeSize;
        copied = code->end;
        ++result_->rewritten;
    }
    out.replace(at, page_.size() - copied, page_.substr(copied));
}

// Each address that still stands readable, but in the tag of an anchor
// that has a line already: what --check will find after the run.
void Protector::ListReadable(const std::vector<Placed>& readable) {
    std::sort(listedTags_.begin(), listedTags_.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    const auto within = [](const auto& spans, size_t offset, auto begin, auto end) {
        auto it = std::upper_bound(spans.begin(), spans.end(), offset,
                                   [&](size_t value, const auto& span) { return value < begin(span); });
        return it != spans.begin() && offset < end(*(it - 1));
    };
    for (const Placed& p : readable) {
        const size_t at = p.span.begin;
        if (within(result_->replaced, at, [](const Replaced& r) { return r.inputOffset; },
                   [](const Replaced& r) { return r.inputOffset + r.inputLength; }) ||
            within(listedTags_, at, [](const Span& t) { return t.begin; }, [](const Span& t) { return t.end; })) {
            continue;
        }
        List(at, "an address that stays readable (" + p.where + "): " +
                     std::string(page_.substr(at, p.span.end - at)));
    }
}

// The listed offsets as lines, in page order.
void Protector::Finish() {
    std::stable_sort(listed_.begin(), listed_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    LineCounter lines(page_), linesAfter(result_->output);
    auto replaced = result_->replaced.begin();
    size_t shift = 0;  // how much further on the output is at this point
    for (auto& [offset, reason] : listed_) {
        for (; replaced != result_->replaced.end() && replaced->inputOffset < offset; ++replaced) {
            shift = replaced->outputOffset + replaced->outputLength - (replaced->inputOffset + replaced->inputLength);
        }
        const size_t line = lines.LineAt(offset);
        const size_t after = result_->rewritten != 0 ? linesAfter.LineAt(offset + shift) : line;
        result_->listed.push_back({line, std::move(reason), after != line ? after : 0});
    }
}

}  // namespace

size_t WorkMemory(size_t pageBytes, Form form) {
    switch (form) {
        case Form::kReferences: return 8 * pageBytes + (size_t(1) << 20);
        // The sealed page, at most about three bytes for each, then the references over it.
        case Form::kStrong: return 32 * pageBytes + (size_t(1) << 20);
        case Form::kScript: break;
    }
    return MemoryCap(pageBytes) + 4 * pageBytes;
}

ProtectResult ProtectPage(std::string_view page, const ProtectOptions& options) {
    ProtectResult result;
    if (options.form != Form::kScript) {
        if (options.form == Form::kStrong) {
            ProtectStrong(page, options, &result);
        } else {
            ProtectWithReferences(page, options, &result);
        }
        // Offsets as lines; references take no line of their own, so the lines stay.
        std::stable_sort(result.listed.begin(), result.listed.end(),
                         [](const Listed& a, const Listed& b) { return a.line < b.line; });
        LineCounter lines(page);
        for (Listed& l : result.listed) l.line = lines.LineAt(l.line);
    } else {
        Protector(page, &result).Run();
    }
    if (!result.Changed()) result.output.assign(page.data(), page.size());
    return result;
}

}  // namespace site
