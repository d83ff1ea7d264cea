// The site's decoder script, quorvane-mail.js: the key written into it as hex, and read back from it.
#include <string>
#include <string_view>

#include "Strong.h"

namespace site {

namespace {

// The script around the key. It holds no "@" and no "mailto", so that --check finds nothing in it, and
// no sink that a Trusted Types policy guards. An attribute that could run script (an event handler,
// srcdoc, a javascript: URL) is never set: a page's own sanitiser may let data-* attributes through, and
// anyone can seal a value with a key that the site publishes. htmx sets up what it swaps in before a
// MutationObserver hears of it, and takes a link without an href for one of the site's own: its event
// before that puts the links back first.
constexpr std::string_view kBeforeKey =
    "// Puts back the addresses sealed in this site's pages.\n"
    "(() => {\n"
    "  \"use strict\";\n"
    "  const key = \"";
constexpr std::string_view kAfterKey =
    "\".match(/../g).map((h) => parseInt(h, 16));\n"
    "  const A = \"data-quorvane\", T = A + \"-text\", S = `[${A}],[${T}]`;\n"
    "  const utf8 = new TextDecoder(\"utf-8\", { fatal: true });\n"
    "  const open = (s) => {\n"
    "    try {\n"
    "      const b = Uint8Array.from(atob(s.replace(/-/g, \"+\").replace(/_/g, \"/\")), (c) => c.charCodeAt(0));\n"
    "      if (/^[\\w-]+$/.test(s)) return utf8.decode(b.subarray(1).map((x, i) => x ^ key[(b[0] + i) % 32]));\n"
    "    } catch (e) {}\n"
    "    return null;\n"
    "  };\n"
    "  const safe = (n, v) => !/^on|^srcdoc$/i.test(n) &&\n"
    "    !/^javascript:/i.test(v.replace(/[\\t\\n\\r]/g, \"\").replace(/^[\\0- ]+/, \"\"));\n"
    "  const restore = (e) => {\n"
    "    const p = open(e.getAttribute(A) || \"\");\n"
    "    if (p !== null) {\n"
    "      const a = p.split(\"\\0\");\n"
    "      for (let i = 1; i < a.length; i += 2) try { if (safe(a[i - 1], a[i])) e.setAttribute(a[i - 1], a[i]); } catch (x) {}\n"
    "      e.removeAttribute(A);\n"
    "    }\n"
    "    const t = open(e.getAttribute(T) || \"\");\n"
    "    if (t !== null) e.localName === \"span\" ? e.replaceWith(t) : (e.removeAttribute(T), (e.textContent = t));\n"
    "  };\n"
    "  const scan = (n) => {\n"
    "    if (n.nodeType !== 1) return;\n"
    "    n.querySelectorAll(S).forEach(restore);\n"
    "    if (n.matches(S)) restore(n);\n"
    "  };\n"
    "  const root = document.documentElement;\n"
    "  new MutationObserver((ms) => ms.forEach((m) => (m.type === \"attributes\" ? scan(m.target) : m.addedNodes.forEach(scan))))\n"
    "    .observe(root, { childList: true, subtree: true, attributeFilter: [A, T] });\n"
    "  for (const n of [\"htmx:before:process\", \"htmx:beforeProcessNode\"]) document.addEventListener(n, (e) => scan(e.target));\n"
    "  scan(root);\n"
    "})();\n";

constexpr char kHex[] = "0123456789abcdef";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string DecoderScript(std::string_view key) {
    std::string script(kBeforeKey);
    for (const char c : key) {
        script.push_back(kHex[static_cast<unsigned char>(c) >> 4]);
        script.push_back(kHex[static_cast<unsigned char>(c) & 15]);
    }
    script.append(kAfterKey);
    return script;
}

bool KeyOfDecoder(std::string_view script, std::string* key) {
    // The first line may differ between versions; the key stands after the same words in each.
    constexpr std::string_view kMark = "const key = \"";
    const size_t at = script.find(kMark);
    if (at == std::string_view::npos) return false;
    const std::string_view hex = script.substr(at + kMark.size());
    if (hex.size() <= kStrongKeyBytes * 2 || hex[kStrongKeyBytes * 2] != '"') return false;
    std::string bytes;
    for (size_t i = 0; i < kStrongKeyBytes * 2; i += 2) {
        const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<char>(high << 4 | low));
    }
    *key = std::move(bytes);
    return true;
}

}  // namespace site
