// Reads a page as a browser's tree (gumbo's), references decoded: two pages that give the same text here read the same to visitors, scripts and style sheets. Shared by the page-rule table and the fuzz target.
#ifndef QUORVANE_TESTS_DOMREADER_H
#define QUORVANE_TESTS_DOMREADER_H

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ValueReader.h"
#include "gumbo.h"

// The tree below `node`, one line a node: elements with their namespace,
// tag and decoded attributes, texts and comments as the parser gives them.
// A noscript's text, which a browser with scripts keeps as it stands, is
// given as the tree that a browser without scripts builds from it.
inline void AppendTree(const GumboNode* node, int depth, std::string& out);

// The name of an element that gumbo knows by no tag of its own, as it stands in the page.
inline std::string TagName(const GumboElement& e) {
    std::string name;
    const std::string tag(e.original_tag.data, e.original_tag.length);
    for (size_t i = 1; i < tag.size() && !strchr(" \t\n\f\r/>", tag[i]); ++i) name += static_cast<char>(tolower(tag[i]));
    return name;
}

// gumbo's own freeing loses the names of duplicate attributes: every block it takes is kept here and freed at the end.
struct DomArena {
    std::vector<void*> blocks;
    static void* Allocate(void* arena, size_t size) {
        void* block = malloc(size);
        static_cast<DomArena*>(arena)->blocks.push_back(block);
        return block;
    }
    static void Free(void*, void*) {}
    ~DomArena() {
        for (void* block : blocks) free(block);
    }
};

// gumbo's tree of `page`, its memory held by `arena`, without error records.
inline GumboOutput* ParseInArena(const std::string& page, DomArena& arena) {
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = DomArena::Allocate;
    options.deallocator = DomArena::Free;
    options.userdata = &arena;
    options.max_errors = 0;
    return gumbo_parse_with_options(&options, page.data(), page.size());
}

inline std::string DomOf(const std::string& page) {
    DomArena arena;
    GumboOutput* output = ParseInArena(page, arena);
    std::string out;
    AppendTree(output->document, 0, out);
    return out;
}

// A text as its readers get it: that of a JSON script block (JSON-LD) by its values, as a JSON reader gives them.
inline std::string TextOf(const GumboNode* text) {
    const GumboNode* parent = text->parent;
    if (parent != nullptr && parent->type == GUMBO_NODE_ELEMENT && parent->v.element.tag == GUMBO_TAG_SCRIPT) {
        const GumboAttribute* type = gumbo_get_attribute(&parent->v.element.attributes, "type");
        const std::string json = Values(site::FileKind::kJson, text->v.text.text);
        if (type != nullptr && std::string(type->value).find("json") != std::string::npos && !json.empty()) {
            return "JSON " + json;
        }
    }
    return text->v.text.text;
}

inline void AppendTree(const GumboNode* node, int depth, std::string& out) {
    // An explicit stack: fuzzed pages nest deeper than the call stack allows.
    std::vector<std::pair<const GumboNode*, int>> stack{{node, depth}};
    while (!stack.empty()) {
        const auto [n, d] = stack.back();
        stack.pop_back();
        out.append(static_cast<size_t>(d < 64 ? d : 64), ' ');
        const GumboVector* children = nullptr;
        switch (n->type) {
            case GUMBO_NODE_DOCUMENT:
                out += "#document\n";
                children = &n->v.document.children;
                break;
            case GUMBO_NODE_ELEMENT:
            case GUMBO_NODE_TEMPLATE: {
                const GumboElement& e = n->v.element;
                out += "<" + std::to_string(e.tag_namespace) + ":";
                out += e.tag == GUMBO_TAG_UNKNOWN ? TagName(e) : gumbo_normalized_tagname(e.tag);
                for (unsigned i = 0; i < e.attributes.length; ++i) {
                    const GumboAttribute* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
                    out += std::string(" ") + a->name + "=\"" + a->value + "\"";
                }
                out += ">\n";
                children = &e.children;
                if (e.tag == GUMBO_TAG_NOSCRIPT && e.children.length == 1) {
                    const GumboNode* text = static_cast<const GumboNode*>(e.children.data[0]);
                    if (text->type == GUMBO_NODE_TEXT) {
                        out += DomOf(std::string("<body>") + text->v.text.text);
                        children = nullptr;
                    }
                }
                break;
            }
            case GUMBO_NODE_COMMENT:
                out += "<!--" + std::string(n->v.text.text) + "-->\n";
                break;
            default:
                out += "\"" + TextOf(n) + "\"\n";
                break;
        }
        if (children != nullptr) {
            for (unsigned i = children->length; i-- > 0;) {
                stack.push_back({static_cast<const GumboNode*>(children->data[i]), d + 1});
            }
        }
    }
}

#endif
