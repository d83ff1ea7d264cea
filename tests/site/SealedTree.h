// A page's tree as the strong form's decoder leaves it, and what a harvester that decodes references and percent-escapes reads in its bytes. Shared by the strong form's table and the fuzz target.
#ifndef QUORVANE_TESTS_SEALEDTREE_H
#define QUORVANE_TESTS_SEALEDTREE_H

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "CharacterReferences.h"
#include "DomReader.h"
#include "Site.h"
#include "Strong.h"
#include "TokenOracle.h"

// The tree as a browser holds it, one line a node, adjacent texts as one and attributes sorted; with `key`,
// as the decoder leaves it: sealed attributes put back, sealed texts as text, its own script left out.
inline void Tree(const GumboNode* node, const std::string* key, std::vector<std::string>& lines) {
    if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE || node->type == GUMBO_NODE_CDATA) {
        if (!lines.empty() && lines.back().compare(0, 2, "# ") == 0) lines.back() += TextOf(node);
        else lines.push_back("# " + TextOf(node));
        return;
    }
    if (node->type == GUMBO_NODE_COMMENT) return lines.push_back(std::string("<!--") + node->v.text.text);
    const GumboVector* children = &node->v.document.children;
    if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
        const GumboElement& e = node->v.element;
        std::vector<std::pair<std::string, std::string>> attributes;
        for (unsigned i = 0; i < e.attributes.length; ++i) {
            const GumboAttribute* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
            // A name that no script can set stays as the page wrote it, and gumbo may garble such names
            // after a duplicate one in either page: only settable names are compared.
            std::string name = a->name;
            if (name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_:.") != std::string::npos) continue;
            // In SVG and MathML xlink:href is its own attribute beside href: its namespace tells them apart.
            static const char* const kPrefixes[] = {"", "xlink:", "xml:", "xmlns:"};
            name = kPrefixes[a->attr_namespace] + name;
            attributes.push_back({name, a->value});
        }
        if (key != nullptr) {
            std::vector<std::pair<std::string, std::string>> restored, sealed;
            std::string opened, text;
            for (const auto& [name, value] : attributes) {
                if (name == site::kSealedText && site::Unseal(value, *key, &opened)) {
                    text = opened;
                    if (e.tag != GUMBO_TAG_SPAN) continue;
                    // A span gives way to a text node of its value.
                    if (!lines.empty() && lines.back().compare(0, 2, "# ") == 0) lines.back() += opened;
                    else lines.push_back("# " + opened);
                    return;
                }
                if (name == site::kSealedAttributes && site::Unseal(value, *key, &opened)) {
                    for (size_t at = 0; at <= opened.size();) {
                        const size_t nameEnd = opened.find('\0', at);
                        const size_t valueEnd = std::min(opened.find('\0', nameEnd + 1), opened.size());
                        sealed.push_back({opened.substr(at, nameEnd - at), opened.substr(nameEnd + 1, valueEnd - nameEnd - 1)});
                        at = valueEnd + 1;
                    }
                } else {
                    restored.push_back({name, value});
                }
            }
            // setAttribute: a sealed value takes the place of the page's own of that name.
            for (const auto& p : sealed) {
                restored.erase(std::remove_if(restored.begin(), restored.end(), [&](const auto& r) { return r.first == p.first; }),
                               restored.end());
                restored.push_back(p);
            }
            attributes = restored;
            if (!text.empty()) {
                // Any other element holds the value as its text.
                std::sort(attributes.begin(), attributes.end());
                std::string line = "<" + std::string(gumbo_normalized_tagname(e.tag));
                for (const auto& [name, value] : attributes) line += " " + name + "=\"" + value + "\"";
                lines.push_back(line);
                lines.push_back("# " + text);
                lines.push_back("</");
                return;
            }
            const GumboAttribute* src = gumbo_get_attribute(&e.attributes, "src");
            if (e.tag == GUMBO_TAG_SCRIPT && src != nullptr && std::string(src->value).find(site::kDecoderName) != std::string::npos) {
                return;
            }
        }
        std::sort(attributes.begin(), attributes.end());
        std::string line = "<" + std::string(e.tag == GUMBO_TAG_UNKNOWN ? TagName(e) : gumbo_normalized_tagname(e.tag));
        for (const auto& [name, value] : attributes) line += " " + name + "=\"" + value + "\"";
        lines.push_back(line);
        children = &e.children;
        // With scripts a noscript's content is text that nothing shows: only readers without scripts get it.
        if (key != nullptr && e.tag == GUMBO_TAG_NOSCRIPT) children = nullptr;
    }
    for (unsigned i = 0; children != nullptr && i < children->length; ++i) Tree(static_cast<const GumboNode*>(children->data[i]), key, lines);
    if (node->type == GUMBO_NODE_ELEMENT) lines.push_back("</");
}

// `scripting` leaves noscript content out, as browsers with scripts do; with a key it is always out.
// The page without the content of its noscript elements: browsers with scripts read it as text that
// nothing shows, where gumbo reads it as markup, whose open formatting elements it carries on after it.
inline std::string WithoutNoScriptContent(const std::string& page) {
    struct Spans : site::ReaderEvents {
        std::vector<std::pair<size_t, size_t>> found;
        void Text(size_t begin, size_t end, site::TextKind kind, std::string_view element, bool) override {
            if (kind == site::TextKind::kRawText && element == "noscript") found.push_back({begin, end});
        }
        void Tag(const site::ReadTag&, bool) override {}
        void Comment(size_t, size_t) override {}
        void Doctype(size_t, size_t) override {}
    } spans;
    site::ReadPage(page, spans);
    std::string out = page;
    for (auto it = spans.found.rbegin(); it != spans.found.rend(); ++it) out.erase(it->first, it->second - it->first);
    return out;
}

inline std::string TreeOf(const std::string& page, const std::string* key, bool scripting = false) {
    DomArena arena;
    std::vector<std::string> lines;
    const std::string none;
    const bool withScripts = key != nullptr || scripting;
    Tree(ParseInArena(withScripts ? WithoutNoScriptContent(page) : page, arena)->document,
         key != nullptr ? key : scripting ? &none : nullptr, lines);
    std::string out;
    // Control characters and broken bytes as gumbo reads them, whichever way a value came into the tree.
    for (const std::string& l : lines) out += Normalized(l) + "\n";
    return out;
}

// Whether a start tag of the page names an attribute twice: gumbo may garble the names after such a
// one, so that its tree serves no comparison of that page's attributes.
inline bool HasDuplicateAttribute(const std::string& page) {
    struct Tags : site::ReaderEvents {
        std::string_view page;
        bool found = false;
        void Text(size_t, size_t, site::TextKind, std::string_view, bool) override {}
        void Comment(size_t, size_t) override {}
        void Doctype(size_t, size_t) override {}
        void Tag(const site::ReadTag& tag, bool) override {
            if (!tag.isEnd && !found) found = AttributesBeforeDuplicate(page.substr(tag.begin, tag.end - tag.begin)) != SIZE_MAX;
        }
    } tags;
    tags.page = page;
    site::ReadPage(page, tags);
    return tags.found;
}

// Whether the page is strict UTF-8: gumbo cuts a broken sequence otherwise than the standard, so that
// the text around it reads otherwise in its tree than in a browser's.
inline bool IsStrictUtf8Page(const std::string& page) {
    for (size_t i = 0; i < page.size();) {
        const unsigned char c = static_cast<unsigned char>(page[i]);
        const size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > page.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(page[i + k]) & 0xC0) != 0x80) return false;
        }
        const unsigned char second = length > 1 ? static_cast<unsigned char>(page[i + 1]) : 0;
        if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
            (c == 0xF4 && second > 0x8F)) {
            return false;
        }
        i += length;
    }
    return true;
}

// What a harvester that decodes references and percent-escapes reads in the page's bytes.
inline std::string HarvesterReads(const std::string& page) {
    std::string decoded;
    site::DecodeReferences(page, site::ReferenceContext::kText, &decoded);
    std::string out;
    for (size_t i = 0; i < decoded.size(); ++i) {
        if (decoded[i] == '%' && i + 2 < decoded.size() && isxdigit(static_cast<unsigned char>(decoded[i + 1])) &&
            isxdigit(static_cast<unsigned char>(decoded[i + 2]))) {
            out.push_back(static_cast<char>(std::stoi(decoded.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(decoded[i]);
        }
    }
    return out;
}

#endif
