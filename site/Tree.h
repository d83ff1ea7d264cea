// The parsed page as the rules read it: kinds of node, attributes, where a node stands in the bytes, and one walk that carries context down.
#ifndef QUORVANE_SITE_TREE_H
#define QUORVANE_SITE_TREE_H

#include <stddef.h>

#include <string_view>
#include <utility>
#include <vector>

#include "gumbo.h"

namespace site {

class Parse;

inline std::string_view Piece(const GumboStringPiece& piece) { return std::string_view(piece.data, piece.length); }

inline bool IsElement(const GumboNode* node) {
    return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE;
}

inline bool IsHtml(const GumboNode* node, GumboTag tag) {
    return IsElement(node) && node->v.element.tag == tag && node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

inline const GumboVector* Children(const GumboNode* node) {
    if (node->type == GUMBO_NODE_DOCUMENT) return &node->v.document.children;
    if (IsElement(node)) return &node->v.element.children;
    return nullptr;
}

inline const GumboNode* Child(const GumboVector& children, size_t i) {
    return static_cast<const GumboNode*>(children.data[i]);
}

inline const GumboAttribute* Attribute(const GumboVector& attributes, size_t i) {
    return static_cast<const GumboAttribute*>(attributes.data[i]);
}

// The decoded value of an element's attribute, or null.
const char* AttributeValue(const GumboNode* element, const char* name);

// Elements whose text is read without character references: an address written as references there stays references.
bool IsRawTextParent(const GumboNode* node);

// Where a node starts in the page, if it came from the page's own bytes.
bool SourceStart(const Parse& parse, const GumboNode* node, size_t* offset);

// Walks a subtree in document order without recursion (gumbo trees can be
// deeper than the stack). visit(node, context) gets a copy of its parent's
// context (`top` gets `topContext`), may change it for the node's children,
// and returns false to skip them.
template <typename Context, typename Visit>
void Walk(const GumboNode* top, const Context& topContext, Visit visit) {
    struct Frame {
        const GumboNode* node;
        unsigned next;
        Context context;
    };
    Context context = topContext;
    if (!visit(top, context)) return;
    std::vector<Frame> stack;
    stack.push_back({top, 0u, std::move(context)});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const GumboVector* children = Children(frame.node);
        if (children == nullptr || frame.next >= children->length) {
            stack.pop_back();
            continue;
        }
        const GumboNode* child = Child(*children, frame.next++);
        Context childContext = frame.context;
        if (visit(child, childContext) && Children(child) != nullptr) {
            stack.push_back({child, 0u, std::move(childContext)});
        }
    }
}

// The walk for visits that need no context.
template <typename Visit>
void Walk(const GumboNode* top, Visit visit) {
    struct None {};
    Walk(top, None{}, [&](const GumboNode* node, None&) { return visit(node); });
}

}  // namespace site

#endif
