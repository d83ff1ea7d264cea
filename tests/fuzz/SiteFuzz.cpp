// Fuzz target of the site library: any page read token for token as gumbo reads it, in the strong form read by the decoder as the page, in the default form read the same by a browser's parser before and after, in the script form within the parser's caps with each code showing the anchor it replaced; every other byte kept, a second run idle; the same bytes as JSON and XML, their values the same for every reader.
#include <stdint.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "CodeReader.h"
#include "DomReader.h"
#include "Fuzz.h"
#include "SealedTree.h"
#include "Site.h"
#include "TokenOracle.h"
#include "ValueReader.h"

namespace {

// Each replaced block put back gives the input, byte for byte.
void RequirePutBack(std::string_view input, const site::ProtectResult& result) {
    std::string back;
    size_t copied = 0;
    for (const site::Replaced& r : result.replaced) {
        FUZZ_REQUIRE(r.outputOffset >= copied && r.outputOffset + r.outputLength <= result.output.size(),
                     "span at %zu out of order", r.outputOffset);
        back.append(result.output, copied, r.outputOffset - copied);
        back.append(input.substr(r.inputOffset, r.inputLength));
        copied = r.outputOffset + r.outputLength;
    }
    back.append(result.output, copied, std::string::npos);
    FUZZ_REQUIRE(back == input, "the output with the blocks put back is not the input");
}

// The input as a JSON or XML file: its readers get the same values, a second run changes nothing.
void RequireSameValues(site::FileKind kind, std::string_view input) {
    const site::ProtectResult result = site::ProtectFile(kind, input);
    RequirePutBack(input, result);
    FUZZ_REQUIRE(result.values == 0 || Values(kind, result.output) == Values(kind, std::string(input)),
                 "the %s file reads otherwise after its addresses were hidden", kind == site::FileKind::kXml ? "XML" : "JSON");
    FUZZ_REQUIRE(site::ProtectFile(kind, result.output).values == 0, "a second run hid addresses again");
}

// Where the <a> elements start whose href holds a span the default form wrote, by gumbo's tree of its output.
std::set<size_t> AnchorsWithHrefIn(const std::string& page, const std::vector<site::Replaced>& edits) {
    std::set<size_t> anchors;
    DomArena arena;
    GumboOutput* output = ParseInArena(page, arena);
    std::vector<const GumboNode*> stack{output->document};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        const GumboVector* children = node->type == GUMBO_NODE_DOCUMENT ? &node->v.document.children
                                      : node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE
                                          ? &node->v.element.children
                                          : nullptr;
        if (children == nullptr) continue;
        for (unsigned i = 0; i < children->length; ++i) stack.push_back(static_cast<const GumboNode*>(children->data[i]));
        if (node->type != GUMBO_NODE_ELEMENT || node->v.element.tag != GUMBO_TAG_A || node->v.element.original_tag.length == 0) continue;
        const GumboAttribute* href = gumbo_get_attribute(&node->v.element.attributes, "href");
        if (href == nullptr || href->original_value.length == 0) continue;
        const size_t begin = static_cast<size_t>(href->original_value.data - page.data());
        const size_t end = begin + href->original_value.length;
        for (const site::Replaced& edit : edits) {
            if (edit.outputOffset < end && begin < edit.outputOffset + edit.outputLength) {
                anchors.insert(static_cast<size_t>(node->v.element.original_tag.data - page.data()));
            }
        }
    }
    return anchors;
}

// The default form: the tree a browser's parser builds is the same, the
// addresses it leaves are the ones --check finds, and neither form takes
// anything on a second run.
void RequireReferencesForm(std::string_view page) {
    const site::ProtectResult result = site::ProtectPage(page);
    RequirePutBack(page, result);
    if (result.replaced.empty()) {
        FUZZ_REQUIRE(result.output == page, "a page without edits changed");
        return;
    }
    FUZZ_REQUIRE(DomOf(result.output) == DomOf(std::string(page)), "the references change the tree a browser builds");
    size_t listedAddresses = 0;
    for (const site::Listed& l : result.listed) listedAddresses += l.reason.find(": ") != std::string::npos;
    FUZZ_REQUIRE(site::CheckPage(result.output).size() <= listedAddresses + result.accepted,
                 "--check finds more than --protect listed");
    const site::ProtectResult again = site::ProtectPage(result.output);
    FUZZ_REQUIRE(again.replaced.empty() && again.output == result.output, "a second run wrote references again");
    // The script form may take an anchor that the default form left, never one whose href it wrote.
    const std::set<size_t> written = AnchorsWithHrefIn(result.output, result.replaced);
    for (const site::Replaced& code : site::ProtectPage(result.output, {site::Form::kScript, nullptr}).replaced) {
        FUZZ_REQUIRE(written.count(code.inputOffset) == 0, "the script form took the anchor at %zu, whose href the default form wrote",
                     code.inputOffset);
    }
}

// The page reader's tokens are gumbo's, up to where it says it cannot follow a browser.
void RequireSameTokens(const std::string& page) {
    const auto [stream, gumbo] = OracleListings(page);
    FUZZ_REQUIRE(stream == gumbo, "the page reader's tokens differ from gumbo's:\n%s---\n%s", stream.c_str(), gumbo.c_str());
}

// The strong form: every other byte kept, the tree with the decoder the original's (as browsers with
// scripts build it; gumbo's tree serves no page that names an attribute twice or holds broken UTF-8),
// and a second run idle.
void RequireStrongForm(std::string_view page) {
    static const site::StrongSetting setting = [] {
        site::StrongSetting s;
        for (size_t i = 0; i < site::kStrongKeyBytes; ++i) s.key.push_back(static_cast<char>(i * 73 + 5));
        s.decoderUrl = "quorvane-mail.js";
        s.fallbackText = site::kDefaultFallbackText;
        return s;
    }();
    site::ProtectOptions options;
    options.form = site::Form::kStrong;
    options.strong = &setting;
    const site::ProtectResult result = site::ProtectPage(page, options);
    RequirePutBack(page, result);
    if (result.replaced.empty()) return;
    FUZZ_REQUIRE(HasDuplicateAttribute(std::string(page)) || !IsStrictUtf8Page(std::string(page)) ||
                     TreeOf(result.output, &setting.key) == TreeOf(std::string(page), nullptr, true),
                 "the decoder would not give the page's own tree");
    const site::ProtectResult again = site::ProtectPage(result.output, options);
    FUZZ_REQUIRE(again.replaced.empty() && again.output == result.output, "a second run sealed again");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    RequireSameTokens(std::string(page));
    RequireReferencesForm(page);
    RequireStrongForm(page);
    const site::ProtectOptions scriptForm = {site::Form::kScript, nullptr};
    const site::ProtectResult result = site::ProtectPage(page, scriptForm);

    // The caps hold, and a page that reaches one is left whole with its reason.
    FUZZ_REQUIRE(result.parserMemory <= site::MemoryCap(size), "the parse took %zu bytes", result.parserMemory);
    FUZZ_REQUIRE(result.cap == site::Cap::kNone || (result.pageLeft && result.output == page && !result.listed.empty()),
                 "cap %d reached, but the page was not left whole", static_cast<int>(result.cap));
    FUZZ_REQUIRE(!result.pageLeft || result.rewritten == 0, "a page left whole was rewritten");
    RequirePutBack(page, result);
    FUZZ_REQUIRE(result.rewritten == result.replaced.size(), "%zu rewritten, %zu spans", result.rewritten,
                 result.replaced.size());

    // Each code shows, with scripts off and on, the anchor it replaced: its href, attributes and text.
    for (const site::Replaced& r : result.replaced) {
        SeenAnchor original, noScript, script;
        FUZZ_REQUIRE(SeeAnchor(std::string(page.substr(r.inputOffset, r.inputLength)), original) &&
                         SeeCode(result.output.substr(r.outputOffset, r.outputLength), noScript, script),
                     "the anchor at %zu or its code cannot be read", r.inputOffset);
        FUZZ_REQUIRE(noScript == original && script == original, "the code at %zu shows another anchor (%s, %s)",
                     r.inputOffset, noScript == original ? "NOSCRIPT same" : "NOSCRIPT differs",
                     script == original ? "script same" : "script differs");
    }

    const site::ProtectResult again = site::ProtectPage(result.output, scriptForm);
    FUZZ_REQUIRE(again.rewritten == 0 && again.output == result.output, "a second run rewrote %zu anchors",
                 again.rewritten);

    for (const site::Finding& finding : site::CheckPage(page)) {
        FUZZ_REQUIRE(!finding.address.empty() && page.find(finding.address) != std::string_view::npos,
                     "a finding that does not stand in the page");
    }
    RequireSameValues(site::FileKind::kJson, page);
    RequireSameValues(site::FileKind::kXml, page);
    return 0;
}
