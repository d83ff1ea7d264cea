// Fuzz target of the mail code generator: any address and link text, and the code read back as a browser reads it.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "Fuzz.h"
#include "MailCode.h"
#include "MailCodeReader.h"

namespace {

ByteView View(const std::string& s) { return ByteView(s.data(), s.size()); }

std::string Str(const ByteString& b) {
    FUZZ_REQUIRE(!b.Failed(), "no memory for %zu bytes", b.size());
    FUZZ_REQUIRE(b.data()[b.size()] == '\0', "the terminator is not where the size says");
    return std::string(b.data(), b.size());
}

// Walks the code from the front; each step must match exactly where the last one ended.
struct Reader {
    const std::string& code;
    size_t pos = 0;

    void Expect(const std::string& text) {
        FUZZ_REQUIRE(code.compare(pos, text.size(), text) == 0, "expected \"%s\" at byte %zu", text.c_str(), pos);
        pos += text.size();
    }
    LeadByteTest lead;

    void ExpectString(const std::string& value, const char* name) {
        std::string decoded;
        FUZZ_REQUIRE(ReadJsString(code, pos, decoded, lead), "%s: no well-formed string literal at byte %zu", name, pos);
        FUZZ_REQUIRE(decoded == value, "%s: the literal decodes to other bytes", name);
    }
};

bool StartsWithIgnoringCase(const std::string& text, size_t at, const std::string& lowerWord) {
    if (text.size() - at < lowerWord.size()) return false;
    for (size_t i = 0; i < lowerWord.size(); ++i) {
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerWord[i]) return false;
    }
    return true;
}

// Lead bytes of code page 932 (Japanese), as IsDBCSLeadByte gives them.
bool Lead932(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Where a browser finds the first "@" after decoding: a lead byte takes the next byte of 0x40 and above.
size_t FindAt(const std::string& s, LeadByteTest lead) {
    size_t i = 0;
    while (i < s.size() && s[i] != '@') {
        i += lead && lead(uint8_t(s[i])) && i + 1 < s.size() && uint8_t(s[i + 1]) >= 0x40 ? 2 : 1;
    }
    return i < s.size() ? i : std::string::npos;
}

// The code for one address and link text, read back with the lead bytes it was made for.
void Check(const std::string& address, const std::string& link, LeadByteTest lead) {
    const std::string code = Str(ComposeMailCode(View(address), View(link), lead));
    const std::string noScript = Str(BuildNoScriptBlock(View(address), View(link)));
    const std::string script = Str(BuildScriptBlock(View(address), View(link), lead));
    FUZZ_REQUIRE(code == noScript + script, "the code is not the NOSCRIPT block followed by the SCRIPT block");

    Reader reader{code, 0, lead};
    reader.Expect("<NOSCRIPT>\r\n<A HREF=\"MAILTO:");
    size_t quote = code.find('"', reader.pos);
    std::string decoded;
    FUZZ_REQUIRE(quote != std::string::npos && DecodeReferences(code.substr(reader.pos, quote - reader.pos), decoded),
                 "the address is not a run of decimal references");
    FUZZ_REQUIRE(decoded == address, "the references decode to other bytes than the address");
    reader.pos = quote;
    reader.Expect("\">" + link + "</A>\r\n</NOSCRIPT>\r\n");

    size_t at = FindAt(address, lead);
    if (at != std::string::npos) {
        reader.Expect("<SCRIPT LANGUAGE=JAVASCRIPT>\r\n<!-- \r\n");
        const size_t valuesStart = reader.pos;
        reader.Expect("var link = ");
        reader.ExpectString(link, "link");
        reader.Expect(";\r\nvar tag1 = \"mail\";\r\nvar tag2 = \"to:\";\r\nvar email1 = ");
        reader.ExpectString(address.substr(0, at), "email1");
        reader.Expect(";\r\nvar email2 = ");
        reader.ExpectString(address.substr(at + 1), "email2");
        reader.Expect(";\r\n");
        // Between the block's own comment opener and its document.write line, nothing may end
        // the element or switch the tokenizer into (doubly) escaped script text.
        for (size_t i = valuesStart; i < reader.pos; ++i) {
            FUZZ_REQUIRE(!StartsWithIgnoringCase(code, i, "</") && !StartsWithIgnoringCase(code, i, "<!--") &&
                             !StartsWithIgnoringCase(code, i, "<script"),
                         "markup opener in the script at byte %zu", i);
        }
        reader.Expect(
            "document.write(\"<a h\" + \"ref=\" + tag1 + tag2 + email1 + \"@\" + email2 + \">\" + link + \"</a>\");\r\n"
            "//-->\r\n</SCRIPT>\r\n");
    }
    FUZZ_REQUIRE(reader.pos == code.size(), "%zu bytes after the end of the code", code.size() - reader.pos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string address = input.ConsumeRandomLengthString(size);
    const std::string link = input.ConsumeRemainingBytesAsString();
    Check(address, link, nullptr);
    Check(address, link, Lead932);
    return 0;
}
