// Reads a page as a browser's tree (gumbo's), references decoded: two pages that give the same text here read the same to visitors, scripts and style sheets. Shared by the page-rule table and the fuzz target.
#ifndef QUORVANE_TESTS_DOMREADER_H
#define QUORVANE_TESTS_DOMREADER_H

#include <string>
#include <utility>
#include <vector>

#include "gumbo.h"

// The tree below `node`, one line a node: elements with their namespace,
// tag and decoded attributes, texts and comments as the parser gives them.
// A noscript's text, which a browser with scripts keeps as it stands, is
// given as the tree that a browser without scripts builds from it.
inline void AppendTree(const GumboNode* node, int depth, std::string& out);

inline std::string DomOf(const std::string& page) {
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
    std::string out;
    AppendTree(output->document, 0, out);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return out;
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
                out += e.tag == GUMBO_TAG_UNKNOWN ? std::string(e.original_tag.data, e.original_tag.length).substr(0, 40)
                                                  : gumbo_normalized_tagname(e.tag);
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
                out += "\"" + std::string(n->v.text.text) + "\"\n";
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
