// Fuzz target of the site library: any page, rewritten and checked within the parser's caps, every other byte kept, each code showing the anchor it replaced, a second run idle; the same bytes as JSON and XML, their values the same for every reader.
#include <stdint.h>

#include <string>
#include <string_view>

#include "CodeReader.h"
#include "Fuzz.h"
#include "Site.h"
#include "ValueReader.h"

namespace {

// Each replaced block put back gives the input, byte for byte.
void RequirePutBack(std::string_view input, const site::ProtectResult& result) {
    FUZZ_REQUIRE(result.rewritten == result.replaced.size(), "%zu rewritten, %zu spans", result.rewritten,
                 result.replaced.size());
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
    FUZZ_REQUIRE(result.rewritten == 0 || Values(kind, result.output) == Values(kind, std::string(input)),
                 "the %s file reads otherwise after its addresses were hidden", kind == site::FileKind::kXml ? "XML" : "JSON");
    FUZZ_REQUIRE(site::ProtectFile(kind, result.output).rewritten == 0, "a second run hid addresses again");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const site::ProtectResult result = site::ProtectPage(page);

    // The caps hold, and a page that reaches one is left whole with its reason.
    FUZZ_REQUIRE(result.parserMemory <= site::MemoryCap(size), "the parse took %zu bytes", result.parserMemory);
    FUZZ_REQUIRE(result.cap == site::Cap::kNone || (result.pageLeft && result.output == page && !result.listed.empty()),
                 "cap %d reached, but the page was not left whole", static_cast<int>(result.cap));
    FUZZ_REQUIRE(!result.pageLeft || result.rewritten == 0, "a page left whole was rewritten");
    RequirePutBack(page, result);

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

    const site::ProtectResult again = site::ProtectPage(result.output);
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
