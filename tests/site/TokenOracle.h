// The page reader's tokens set beside gumbo's, as the tree builder takes them: tags with their decoded attributes, text as decoded, comments. Shared by the page-rule tables and the fuzz target.
#ifndef QUORVANE_TESTS_TOKENORACLE_H
#define QUORVANE_TESTS_TOKENORACLE_H

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "CharacterReferences.h"
#include "DomReader.h"
#include "PageRules.h"
#include "Reader.h"
#include "gumbo.h"
#include "tokenizer.h"

// One token of a listing: where it starts and a line that says what a parser gets from it. Adjacent text is one token.
struct OracleToken {
    size_t offset;
    std::string line;
    bool operator==(const OracleToken& o) const { return offset == o.offset && line == o.line; }
};
using OracleTokens = std::vector<OracleToken>;

// What both readers give for the same text: line ends as LF, NUL and broken UTF-8 as U+FFFD (in ordinary
// content gumbo hands NUL on as its own token, which is kept as "\0").
inline std::string OracleText(std::string_view text, bool keepNul) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            out += '\n';
            i += i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
            continue;
        }
        if (c == 0) {
            if (keepNul) out += '\0';
            else site::AppendUtf8(&out, 0xFFFD);
            ++i;
            continue;
        }
        // gumbo reads control characters as U+FFFD, where browsers keep them.
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\f') || c == 0x7F ||
            (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
             static_cast<unsigned char>(text[i + 1]) <= 0x9F)) {
            site::AppendUtf8(&out, 0xFFFD);
            i += c == 0xC2 ? 2 : 1;
            continue;
        }
        size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool valid = length != 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        // Overlong forms, surrogates and values past U+10FFFF are broken too.
        if (valid && length > 1) {
            const unsigned char second = static_cast<unsigned char>(text[i + 1]);
            valid = !(c < 0xC2 || (c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) ||
                      (c == 0xF0 && second < 0x90) || (c == 0xF4 && second > 0x8F) || c > 0xF4);
        }
        if (!valid) {
            site::AppendUtf8(&out, 0xFFFD);
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

// An attribute's name without U+FFFD: gumbo drops a NUL that starts a name, where the standard reads U+FFFD.
inline std::string OracleName(std::string_view name) {
    std::string out = OracleText(name, false);
    for (size_t at = out.find("\xEF\xBF\xBD"); at != std::string::npos; at = out.find("\xEF\xBF\xBD", at)) out.erase(at, 3);
    return out;
}

inline void AddText(OracleTokens& tokens, size_t offset, const std::string& text) {
    if (text.empty()) return;
    if (!tokens.empty() && tokens.back().line.compare(0, 2, "T ") == 0) tokens.back().line += text;
    else tokens.push_back({offset, "T " + text});
}

inline std::string TagLine(bool end, std::string_view name) {
    return std::string(end ? "E " : "S ") + std::string(name);
}

// gumbo cuts and joins attribute names with bytes that are not printable ASCII (a NUL, broken UTF-8)
// otherwise than the standard: a tag with such a name is compared by its name alone.
constexpr char kOddNames[] = " (attributes of names the check cannot compare)";
inline bool OddName(const std::string& name) {
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return true;
    }
    return false;
}

// gumbo may garble the name of an attribute that follows a duplicate one: a tag is compared up to its first duplicate.
constexpr char kAfterDuplicate[] = " (a duplicate name, and more)";

// How many attributes a start tag (its text alone) has before the first that repeats a name; SIZE_MAX for none.
// `odd` tells whether a name before it has a byte that is not printable ASCII, as the page writes it.
inline size_t AttributesBeforeDuplicate(std::string_view tag, bool* odd = nullptr) {
    struct First : site::ReaderEvents {
        std::string_view text;
        size_t count = SIZE_MAX;
        bool done = false;
        bool odd = false;
        void Text(size_t, size_t, site::TextKind, std::string_view, bool) override {}
        void Comment(size_t, size_t) override {}
        void Doctype(size_t, size_t) override {}
        void Tag(const site::ReadTag& tag, bool) override {
            if (done) return;
            done = true;
            std::vector<std::string> seen;
            for (const site::ReadAttribute& a : tag.attributes) {
                std::string name(text.substr(a.nameBegin, a.nameEnd - a.nameBegin));
                for (char& c : name) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
                for (const std::string& s : seen) {
                    if (s == name) {
                        count = seen.size();
                        return;
                    }
                }
                seen.push_back(name);
                odd = odd || OddName(name);
            }
        }
    } first;
    first.text = tag;
    site::ReadPage(tag, first);
    if (odd != nullptr) *odd = first.odd;
    return first.count;
}

// The page reader's listing, up to the first token it cannot read as a browser does (`*cut`, the page's size when none).
class StreamListing : public site::ReaderEvents {
public:
    StreamListing(std::string_view page, OracleTokens* tokens, size_t* cut) : page_(page), tokens_(tokens), cut_(cut) {}
    bool Stopped(size_t at, bool exact) {
        if (!exact && at < *cut_) *cut_ = at;
        return at >= *cut_;
    }
    void Text(size_t begin, size_t end, site::TextKind kind, std::string_view element, bool exact) override {
        // gumbo places text that starts with CR LF at its LF, the one character the two make, and a CDATA
        // section at its "<![CDATA[", where a listing that stops there stops too.
        size_t at = page_.compare(begin, 2, "\r\n") == 0 ? begin + 1 : begin;
        if (kind == site::TextKind::kCData && begin >= 9) at = begin - 9;
        if (Stopped(kind == site::TextKind::kCData ? at : begin, exact)) return;
        const std::string_view raw = page_.substr(begin, end - begin);
        if (element == "noscript") noScriptSpans.push_back({begin, end, tokens_->size()});
        if (kind == site::TextKind::kData || kind == site::TextKind::kRcdata) {
            std::string decoded;
            site::DecodeReferences(raw, site::ReferenceContext::kText, &decoded);
            AddText(*tokens_, at, OracleText(decoded, kind == site::TextKind::kData));
        } else {
            AddText(*tokens_, at, OracleText(raw, false));
        }
    }
    void Tag(const site::ReadTag& tag, bool exact) override {
        if (Stopped(tag.begin, exact)) return;
        // The name as the page writes it: the reader keeps only so many of its letters.
        std::string name;
        for (size_t i = tag.begin + (tag.isEnd ? 2 : 1); i < page_.size() && (page_[i] == 0 || !strchr(" \t\n\f\r/>", page_[i])); ++i) {
            name += (page_[i] >= 'A' && page_[i] <= 'Z') ? static_cast<char>(page_[i] + 32) : page_[i];
        }
        std::string line = TagLine(tag.isEnd, OracleText(name, false));
        std::vector<std::string> seen;
        bool odd = false;
        for (const site::ReadAttribute& a : tag.attributes) {
            if (tag.isEnd) break;
            std::string attribute(page_.substr(a.nameBegin, a.nameEnd - a.nameBegin));
            for (char& c : attribute) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
            bool duplicate = false;
            for (const std::string& s : seen) duplicate = duplicate || s == attribute;
            if (duplicate) {
                line += kAfterDuplicate;
                break;
            }
            seen.push_back(attribute);
            odd = odd || OddName(attribute);
            std::string value;
            site::DecodeReferences(page_.substr(a.valueBegin, a.valueEnd - a.valueBegin), site::ReferenceContext::kAttribute, &value);
            line += " " + OracleName(attribute) + "=\"" + OracleText(value, false) + "\"";
        }
        if (odd) line = TagLine(tag.isEnd, OracleText(name, false)) + kOddNames;
        tokens_->push_back({tag.begin, line});
    }
    void Comment(size_t begin, size_t end) override {
        // gumbo places a comment at its "<", the reader at its text.
        const size_t at = page_.rfind('<', begin - 1);
        // "<![CDATA[" in HTML: the reader takes what follows up to "]]>" as a place it cannot read as every browser does.
        if (Stopped(at, page_.compare(begin, 7, "[CDATA[") != 0)) return;
        tokens_->push_back({at, "C " + OracleText(page_.substr(begin, end - begin), false)});
    }
    void Doctype(size_t begin, size_t) override {
        if (!Stopped(begin, true)) tokens_->push_back({begin, "D"});
    }
    struct Span {
        size_t begin, end, token;  // the content's bytes and the index of its text token
    };
    std::vector<Span> noScriptSpans;

private:
    std::string_view page_;
    OracleTokens* tokens_;
    size_t* cut_;
};

// gumbo's listing of the tokens that start before `cut`.
struct GumboListing {
    std::string_view page;
    size_t cut;
    OracleTokens tokens;
    static void Read(void* self, const void* token) {
        static_cast<GumboListing*>(self)->Add(*static_cast<const GumboToken*>(token));
    }
    // The tree builder hands a token back to itself after it opens an implied element: it is seen once here.
    size_t lastOffset = SIZE_MAX;
    void Add(const GumboToken& t) {
        // A "</>" that the tokenizer dropped stands at the start of the next token's text.
        std::string_view text(t.original_text.data, t.original_text.length);
        size_t offset = t.position.offset;
        while (text.substr(0, 3) == "</>") text.remove_prefix(3), offset += 3;
        if (offset >= cut || t.type == GUMBO_TOKEN_EOF || offset == lastOffset) return;
        lastOffset = offset;
        std::string characters;
        switch (t.type) {
            case GUMBO_TOKEN_DOCTYPE: tokens.push_back({offset, "D"}); return;
            case GUMBO_TOKEN_COMMENT: tokens.push_back({offset, "C " + OracleText(t.v.text, false)}); return;
            case GUMBO_TOKEN_START_TAG:
            case GUMBO_TOKEN_END_TAG: {
                std::string name;
                for (size_t i = text.size() > 1 && text[1] == '/' ? 2 : 1; i < text.size(); ++i) {
                    const char c = text[i];
                    if (c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == '/' || c == '>') break;
                    name += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
                }
                std::string line = TagLine(t.type == GUMBO_TOKEN_END_TAG, OracleText(name, false));
                bool odd = false;
                if (t.type == GUMBO_TOKEN_START_TAG) {
                    const GumboVector& attributes = t.v.start_tag.attributes;
                    const size_t kept = AttributesBeforeDuplicate(text, &odd);
                    for (unsigned i = 0; i < attributes.length && i < kept; ++i) {
                        const GumboAttribute* a = static_cast<const GumboAttribute*>(attributes.data[i]);
                        line += " " + OracleName(a->name) + "=\"" + OracleText(a->value, false) + "\"";
                    }
                    if (kept != SIZE_MAX) line += kAfterDuplicate;
                }
                if (odd) line = TagLine(false, OracleText(name, false)) + kOddNames;
                tokens.push_back({offset, line});
                return;
            }
            case GUMBO_TOKEN_NULL: characters.push_back('\0'); break;
            default: site::AppendUtf8(&characters, static_cast<unsigned long>(t.v.character)); break;
        }
        AddText(tokens, offset, characters);
    }
};

inline OracleTokens GumboTokensOf(const std::string& page, size_t cut) {
    GumboListing listing{page, cut, {}, SIZE_MAX};
    // On an arena, as gumbo's own freeing loses nodes that a <frameset> unlinks.
    struct Arena {
        GumboListing* listing;
        DomArena blocks;
    } arena{&listing, {}};
    GumboOptions options = kGumboDefaultOptions;
    options.userdata = &arena;
    options.allocator = [](void* a, size_t size) { return DomArena::Allocate(&static_cast<Arena*>(a)->blocks, size); };
    options.deallocator = DomArena::Free;
    options.token_read = [](void* a, const void* token) { GumboListing::Read(static_cast<Arena*>(a)->listing, token); };
    options.max_errors = 0;
    gumbo_parse_with_options(&options, page.data(), page.size());
    return listing.tokens;
}

// A listing's line as both readers can agree on it: a run of broken bytes is one U+FFFD (the two decoders
// count them apart otherwise), and a comment ends at a NUL (U+FFFD here), where gumbo ends it.
inline std::string Normalized(const std::string& text) {
    std::string line = OracleText(text, false);
    if (line.compare(0, 2, "C ") == 0) line = line.substr(0, line.find("\xEF\xBF\xBD"));
    for (size_t run = line.find("\xEF\xBF\xBD\xEF\xBF\xBD"); run != std::string::npos;
         run = line.find("\xEF\xBF\xBD\xEF\xBF\xBD", run)) {
        line.erase(run, 3);
    }
    return line;
}

inline bool SameTokens(const OracleTokens& a, const OracleTokens& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].offset != b[i].offset || Normalized(a[i].line) != Normalized(b[i].line)) return false;
    }
    return true;
}

// The page reader's listing, with each <noscript> read as gumbo reads it where the two differ: gumbo reads
// one in <head> with scripts off and one in <body> with scripts on, the reader every one with scripts on.
inline OracleTokens StreamTokensOf(std::string_view page, const OracleTokens& gumbo, size_t* cut) {
    *cut = page.size();
    OracleTokens tokens;
    StreamListing listing(page, &tokens, cut);
    site::ReadPage(page, listing);
    // Later spans first, so that the indexes of earlier ones still hold.
    for (auto span = listing.noScriptSpans.rbegin(); span != listing.noScriptSpans.rend(); ++span) {
        OracleTokens theirs, without;
        for (const OracleToken& t : gumbo) {
            if (t.offset >= span->begin && t.offset < span->end) theirs.push_back(t);
        }
        size_t offCut = page.size();
        StreamListing off(page, &without, &offCut);
        if (span->token >= tokens.size() || !site::ReadNoScriptContent(page, span->begin, span->end, off)) continue;
        // Where that reading meets what it cannot follow as every browser does, both listings end there.
        theirs.erase(std::remove_if(theirs.begin(), theirs.end(), [&](const OracleToken& t) { return t.offset >= offCut; }),
                     theirs.end());
        if (!SameTokens(theirs, without)) continue;
        tokens.erase(tokens.begin() + static_cast<long>(span->token), offCut < page.size() ? tokens.end() : tokens.begin() + static_cast<long>(span->token) + 1);
        tokens.insert(tokens.begin() + static_cast<long>(span->token), without.begin(), without.end());
        if (offCut < *cut) *cut = offCut;
    }
    return tokens;
}

// Both listings as text, one token a line, for a test's message; equal when the readers agree up to the cut.
inline std::pair<std::string, std::string> OracleListings(const std::string& page) {
    size_t cut = page.size();
    {
        OracleTokens ignored;
        StreamListing probe(page, &ignored, &cut);
        site::ReadPage(page, probe);
    }
    const OracleTokens gumbo = GumboTokensOf(page, cut);
    size_t again = cut;
    const OracleTokens stream = StreamTokensOf(page, gumbo, &again);
    auto text = [&](const OracleTokens& tokens) {
        std::string out;
        for (const OracleToken& t : tokens) {
            if (t.offset < again) out += std::to_string(t.offset) + " " + Normalized(t.line) + "\n";
        }
        return out;
    };
    return {text(stream), text(gumbo)};
}

#endif
