// Small readings of gumbo's tree that the page rules share.
#include "Tree.h"

#include "Parse.h"

namespace site {

const char* AttributeValue(const GumboNode* element, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&element->v.element.attributes, name);
    return attribute != nullptr ? attribute->value : nullptr;
}

bool IsRawTextParent(const GumboNode* node) {
    if (!IsElement(node) || node->v.element.tag_namespace != GUMBO_NAMESPACE_HTML) return false;
    switch (node->v.element.tag) {
        case GUMBO_TAG_SCRIPT: case GUMBO_TAG_STYLE: case GUMBO_TAG_XMP: case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_NOEMBED: case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_NOSCRIPT: case GUMBO_TAG_PLAINTEXT:
            return true;
        default:
            return false;
    }
}

bool SourceStart(const Parse& parse, const GumboNode* node, size_t* offset) {
    const GumboStringPiece* piece = IsElement(node) ? &node->v.element.original_tag
                                    : node->type == GUMBO_NODE_DOCUMENT ? nullptr
                                                                        : &node->v.text.original_text;
    if (piece == nullptr || piece->length == 0) return false;
    *offset = parse.Offset(piece->data);
    return true;
}

}  // namespace site
