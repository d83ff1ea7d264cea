// Reads a page's code as a browser does, with scripts off (the NOSCRIPT anchor) and on (the anchor the script writes), and the anchor it replaced: shared by the page-rule table and the fuzz target.
#ifndef QUORVANE_TESTS_CODEREADER_H
#define QUORVANE_TESTS_CODEREADER_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "MailCodeReader.h"
#include "gumbo.h"

// An anchor as a visitor meets it: its href as a mail program reads it,
// its other attributes (decoded, in order) and its text.
struct SeenAnchor {
    std::string href;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;
    bool operator==(const SeenAnchor& other) const {
        return href == other.href && attributes == other.attributes && text == other.text;
    }
};

// A mailto href as a mail program gets it from the URL parser: tabs and
// line breaks gone, controls and spaces trimmed, everything after "mailto:"
// percent-decoded.
inline std::string MailProgramHref(std::string href) {
    std::string kept;
    for (char c : href) {
        if (c != '\t' && c != '\n' && c != '\r') kept += c;
    }
    size_t begin = 0, end = kept.size();
    while (begin < end && static_cast<unsigned char>(kept[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(kept[end - 1]) <= ' ') --end;
    kept = kept.substr(begin, end - begin);
    std::string out = "mailto:";
    for (size_t i = 7; i < kept.size(); ++i) {
        if (kept[i] == '%' && i + 2 < kept.size() && isxdigit(static_cast<unsigned char>(kept[i + 1])) &&
            isxdigit(static_cast<unsigned char>(kept[i + 2]))) {
            out += static_cast<char>(std::strtol(kept.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += kept[i];
        }
    }
    return out;
}

inline void AppendText(const GumboNode* node, std::string& text) {
    if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE || node->type == GUMBO_NODE_CDATA) {
        text += node->v.text.text;
    } else if (node->type == GUMBO_NODE_ELEMENT) {
        const GumboVector& children = node->v.element.children;
        for (unsigned i = 0; i < children.length; ++i) AppendText(static_cast<const GumboNode*>(children.data[i]), text);
    }
}

inline const GumboNode* FirstAnchor(const GumboNode* node) {
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_DOCUMENT) return nullptr;
    if (node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == GUMBO_TAG_A) return node;
    const GumboVector& children =
        node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        if (const GumboNode* found = FirstAnchor(static_cast<const GumboNode*>(children.data[i]))) return found;
    }
    return nullptr;
}

// The first anchor of some HTML, parsed in the body of a page of its own
// after some text, as a taken anchor always stands: a <frameset> in it
// would otherwise replace the body.
inline bool SeeAnchor(const std::string& html, SeenAnchor& seen) {
    const std::string page = "<body>.</body>" + html;
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.c_str(), page.size());
    const GumboNode* anchor = FirstAnchor(output->document);
    if (anchor != nullptr) {
        seen = SeenAnchor();
        const GumboVector& attributes = anchor->v.element.attributes;
        for (unsigned i = 0; i < attributes.length; ++i) {
            const GumboAttribute* a = static_cast<const GumboAttribute*>(attributes.data[i]);
            if (std::string(a->name) == "href") {
                seen.href = MailProgramHref(a->value);
            } else {
                seen.attributes.push_back({a->name, a->value});
            }
        }
        AppendText(anchor, seen.text);
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return anchor != nullptr;
}

// Joins "literal" and names with " + " into one string, as the script does.
inline bool Evaluate(const std::string& code, size_t& pos, const std::map<std::string, std::string>& vars,
                     std::string& value) {
    value.clear();
    for (;;) {
        std::string piece;
        if (code[pos] == '"') {
            if (!ReadJsString(code, pos, piece)) return false;
        } else {
            size_t end = code.find_first_of(" );", pos);
            auto var = vars.find(code.substr(pos, end - pos));
            if (end == std::string::npos || var == vars.end()) return false;
            piece = var->second;
            pos = end;
        }
        value += piece;
        if (code.compare(pos, 3, " + ") != 0) return true;
        pos += 3;
    }
}

// What document.write writes: the script's variables, then its one call.
inline bool ScriptWrites(const std::string& script, std::string& written) {
    std::map<std::string, std::string> vars;
    for (size_t pos = 0; (pos = script.find("var ", pos)) != std::string::npos;) {
        const size_t eq = script.find(" = ", pos);
        if (eq == std::string::npos) return false;
        const std::string name = script.substr(pos + 4, eq - pos - 4);
        pos = eq + 3;
        if (!Evaluate(script, pos, vars, vars[name])) return false;
    }
    size_t call = script.find("document.write(");
    if (call == std::string::npos) return false;
    call += 15;
    return Evaluate(script, call, vars, written) && script.compare(call, 2, ");") == 0;
}

// Both anchors of one block of code: the NOSCRIPT one and the one its script writes.
inline bool SeeCode(const std::string& code, SeenAnchor& noScript, SeenAnchor& script) {
    // The link text holds no "</noscript", so the first one ends the NOSCRIPT part.
    const size_t close = code.find("</NOSCRIPT>"), scriptStart = close + 11, scriptEnd = code.rfind("</SCRIPT>");
    std::string written;
    return code.compare(0, 10, "<NOSCRIPT>") == 0 && close != std::string::npos &&
           code.compare(scriptStart, 28, "<SCRIPT LANGUAGE=JAVASCRIPT>") == 0 && scriptEnd != std::string::npos &&
           SeeAnchor(code.substr(10, close - 10), noScript) &&
           ScriptWrites(code.substr(scriptStart, scriptEnd - scriptStart), written) && SeeAnchor(written, script);
}

#endif
