// Unit tests of the mail code generator: exact output, edge cases, escaping and round trips.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "MailCode.h"
#include "MailCodeReader.h"

namespace {

ByteView View(const std::string& s) { return ByteView(s.data(), s.size()); }

std::string Str(const ByteString& b) {
    EXPECT_FALSE(b.Failed());
    return std::string(b.data(), b.size());
}

std::string Compose(const std::string& address, const std::string& link) {
    return Str(ComposeMailCode(View(address), View(link)));
}
std::string NoScript(const std::string& address, const std::string& link) {
    return Str(BuildNoScriptBlock(View(address), View(link)));
}
std::string Script(const std::string& address, const std::string& link, LeadByteTest lead = nullptr) {
    return Str(BuildScriptBlock(View(address), View(link), lead));
}

// Lead bytes as IsDBCSLeadByte gives them: code page 932, and 936 and 950 (the same range).
bool Lead932(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool Lead936(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "text does not end with CR LF";
    return lines;
}

const char kWriteLine[] =
    "document.write(\"<a h\" + \"ref=\" + tag1 + tag2 + email1 + \"@\" + email2 + \">\" + link + \"</a>\");";

TEST(MailCode, WorkedExampleIsByteExact) {
    const std::string expected =
        "<NOSCRIPT>\r\n"
        "<A HREF=\"MAILTO:&#120;&#64;&#121;\">z</A>\r\n"
        "</NOSCRIPT>\r\n"
        "<SCRIPT LANGUAGE=JAVASCRIPT>\r\n"
        "<!-- \r\n"
        "var link = \"z\";\r\n"
        "var tag1 = \"mail\";\r\n"
        "var tag2 = \"to:\";\r\n"
        "var email1 = \"x\";\r\n"
        "var email2 = \"y\";\r\n"
        "document.write(\"<a h\" + \"ref=\" + tag1 + tag2 + email1 + \"@\" + email2 + \">\" + link + \"</a>\");\r\n"
        "//-->\r\n"
        "</SCRIPT>\r\n";
    std::string code = Compose("x@y", "z");
    EXPECT_EQ(code.size(), 310u);
    EXPECT_EQ(code, expected);
    EXPECT_EQ(std::string(kWriteLine).size(), 92u);
}

TEST(MailCode, ComposeIsNoScriptThenScript) {
    const char* addresses[] = {"x@y", "abc", "", "@", "a@b@c", "first.last@example.org"};
    for (const char* address : addresses) {
        EXPECT_EQ(Compose(address, "link"), NoScript(address, "link") + Script(address, "link")) << address;
    }
}

TEST(MailCode, AddressWithoutAtGivesNoScriptBlockAlone) {
    EXPECT_EQ(Compose("abc", "x"),
              "<NOSCRIPT>\r\n<A HREF=\"MAILTO:&#97;&#98;&#99;\">x</A>\r\n</NOSCRIPT>\r\n");
    EXPECT_EQ(Script("abc", "x"), "");
    EXPECT_EQ(Compose("", "x"), "<NOSCRIPT>\r\n<A HREF=\"MAILTO:\">x</A>\r\n</NOSCRIPT>\r\n");
}

TEST(MailCode, SplitAtFirstAt) {
    struct Row {
        const char* address;
        const char* email1;
        const char* email2;
    };
    const Row rows[] = {
        {"x@y", "var email1 = \"x\";", "var email2 = \"y\";"},
        {"@domain", "var email1 = \"\";", "var email2 = \"domain\";"},
        {"local@", "var email1 = \"local\";", "var email2 = \"\";"},
        {"@", "var email1 = \"\";", "var email2 = \"\";"},
        {"a@b@c", "var email1 = \"a\";", "var email2 = \"b@c\";"},
        {"a@@c", "var email1 = \"a\";", "var email2 = \"@c\";"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> lines = Lines(Compose(row.address, "t"));
        ASSERT_EQ(lines.size(), 13u) << row.address;
        EXPECT_EQ(lines[8], row.email1) << row.address;
        EXPECT_EQ(lines[9], row.email2) << row.address;
        EXPECT_EQ(lines[10], kWriteLine) << row.address;
    }
}

TEST(MailCode, EveryAddressByteIsEncodedWithoutLeadingZeros) {
    struct Row {
        std::string address;
        std::string references;
    };
    const Row rows[] = {
        {std::string("\x00", 1), "&#0;"},
        {"\t", "&#9;"},
        {"\n", "&#10;"},
        {"c", "&#99;"},
        {"d", "&#100;"},
        {"@.", "&#64;&#46;"},
        {"\xC8", "&#200;"},
        {"\xFF", "&#255;"},
        {"\x80\x81", "&#128;&#129;"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> lines = Lines(NoScript(row.address, "t"));
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[1], "<A HREF=\"MAILTO:" + row.references + "\">t</A>") << row.references;
    }
}

TEST(MailCode, EmptyLinkTextStillGivesBothBlocks) {
    std::vector<std::string> lines = Lines(Compose("x@y", ""));
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[1], "<A HREF=\"MAILTO:&#120;&#64;&#121;\"></A>");
    EXPECT_EQ(lines[5], "var link = \"\";");
}

TEST(MailCode, NoScriptLinkTextStaysRawHtml) {
    const std::string link = "<b>\"Write\" \\ me</b>\r\n</script>";
    std::vector<std::string> lines = Lines(NoScript("x@y", link));
    EXPECT_EQ(lines[1], "<A HREF=\"MAILTO:&#120;&#64;&#121;\"><b>\"Write\" \\ me</b>");
    EXPECT_EQ(lines[2], "</script></A>");
}

TEST(MailCode, ScriptValuesAreEscapedOnlyWhereNeeded) {
    struct Row {
        std::string value;
        std::string literal;
    };
    const Row rows[] = {
        {"plain text", "plain text"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"back\\slash", "back\\\\slash"},
        {"two\r\nlines", "two\\r\\nlines"},
        {"end</script>", "end\\x3C/script>"},
        {"end</SCRIPT >", "end\\x3C/SCRIPT >"},
        {"<!-- c -->", "\\x3C!-- c -->"},
        {"<script>", "\\x3Cscript>"},
        {"<ScRiPt", "\\x3CScRiPt"},
        {"<b>bold</b>", "<b>bold\\x3C/b>"},
        {"a < b <! c <", "a < b <! c <"},
        {std::string("nul\x00", 4) + "\xE9\t", std::string("nul\x00", 4) + "\xE9\t"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> lines = Lines(Script("x@y", row.value));
        ASSERT_EQ(lines.size(), 10u);
        EXPECT_EQ(lines[2], "var link = \"" + row.literal + "\";") << row.value;

        // The same escaping applies to both halves of the address.
        lines = Lines(Script(row.value + "@" + row.value, "t"));
        if (row.value.find('@') == std::string::npos) {
            ASSERT_EQ(lines.size(), 10u);
            EXPECT_EQ(lines[5], "var email1 = \"" + row.literal + "\";") << row.value;
            EXPECT_EQ(lines[6], "var email2 = \"" + row.literal + "\";") << row.value;
        }
    }
}

TEST(MailCode, DoubleByteCharactersStayWholeInTheScript) {
    struct Row {
        LeadByteTest lead;
        std::string value, literal;
    };
    const Row rows[] = {
        // 932: 機能 8B 40 94 5C, 表 95 5C, ソ 83 5C; a backslash and a quote of their own are still escaped.
        {Lead932, "\x8B\x40\x94\x5C", "\x8B\x40\x94\x5C"},
        {Lead932, "\x95\x5C\\\x83\x5C\"", "\x95\x5C\\\\\x83\x5C\\\""},
        // 0xB1 is a single-byte katakana in 932 and a lead byte in 936.
        {Lead932, "\xB1\\", "\xB1\\\\"},
        // 936: 園 88 40, 籠 BB 5C. 950: 一 A4 40, 許 B3 5C.
        {Lead936, "\x88\x40\xBB\x5C\xB1\\", "\x88\x40\xBB\x5C\xB1\\"},
        {Lead936, "\xA4\x40\xB3\x5C\\", "\xA4\x40\xB3\x5C\\\\"},
        // A lead byte without its trail byte must not pair with the escape or the closing quote.
        {Lead932, "\x83\"\x83\r\x83</", "\\x83\\\"\\x83\\r\\x83\\x3C/"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> lines = Lines(Script("x@y", row.value, row.lead));
        ASSERT_EQ(lines.size(), 10u);
        EXPECT_EQ(lines[2], "var link = \"" + row.literal + "\";") << row.literal;
        // A trail byte 0x40 is no "@": the address splits at the one between the halves.
        lines = Lines(Script(row.value + "@" + row.value, "t", row.lead));
        ASSERT_EQ(lines.size(), 10u);
        EXPECT_EQ(lines[5], "var email1 = \"" + row.literal + "\";") << row.literal;
        EXPECT_EQ(lines[6], "var email2 = \"" + row.literal + "\";") << row.literal;
    }
}

TEST(MailCode, ScriptLiteralRoundTripsEveryByteAndKeepsTheElementClosed) {
    for (int b = 0; b < 256; ++b) {
        for (const std::string& value :
             {std::string(1, static_cast<char>(b)), std::string("<") + static_cast<char>(b) + "-->",
              std::string("</") + static_cast<char>(b)}) {
            std::string code = Script("x@y", value);
            std::vector<std::string> lines = Lines(code);
            ASSERT_EQ(lines.size(), 10u) << "byte " << b;
            const std::string prefix = "var link = \"";
            ASSERT_EQ(lines[2].compare(0, prefix.size(), prefix), 0);
            size_t pos = prefix.size() - 1;
            std::string decoded;
            EXPECT_TRUE(ReadJsString(lines[2], pos, decoded)) << "byte " << b;
            EXPECT_EQ(decoded, value) << "byte " << b;
            EXPECT_EQ(lines[2].substr(pos), ";") << "byte " << b;
            // The only end tag and the only comment opener are the block's own.
            EXPECT_EQ(code.find("</"), code.find("</a>"));
            EXPECT_EQ(code.rfind("</"), code.size() - std::string("</SCRIPT>\r\n").size());
            EXPECT_EQ(code.find("<!--"), code.rfind("<!--"));
        }
    }
}

TEST(MailCode, NoScriptReferencesRoundTripAllByteValues) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::vector<std::string> addresses = {all};
    for (int b = 0; b < 256; ++b) addresses.push_back(std::string(1, static_cast<char>(b)) + "@" + all);
    for (const std::string& address : addresses) {
        std::vector<std::string> lines = Lines(NoScript(address, "t"));
        ASSERT_EQ(lines.size(), 3u);
        const std::string head = "<A HREF=\"MAILTO:";
        const std::string tail = "\">t</A>";
        ASSERT_EQ(lines[1].compare(0, head.size(), head), 0);
        std::string refs = lines[1].substr(head.size(), lines[1].size() - head.size() - tail.size());
        std::string decoded;
        EXPECT_TRUE(DecodeReferences(refs, decoded));
        EXPECT_EQ(decoded, address);
        EXPECT_EQ(refs.find_first_not_of("&#;0123456789"), std::string::npos);
    }
}

TEST(MailCode, PlainAddressAndLowerCaseMailtoNeverInTheCode) {
    const char* addresses[] = {"x@y", "john.smith@example.com", "a@b@c", "@host", "me@"};
    for (const char* address : addresses) {
        std::string code = Compose(address, "write to us");
        EXPECT_EQ(code.find(address), std::string::npos) << address;
        EXPECT_EQ(code.find("mailto:"), std::string::npos) << address;
    }
}

TEST(MailCode, CodeTooLargeForMemoryFailsInsteadOfWrapping) {
    // The NOSCRIPT block counts the link text without reading it: no memory is touched or taken.
    const ByteView huge("x", SIZE_MAX - 20);
    EXPECT_TRUE(BuildNoScriptBlock(ByteView::FromCString("abc"), huge).Failed());
    EXPECT_TRUE(ComposeMailCode(ByteView::FromCString("abc"), huge).Failed());
}

TEST(IntToDecimal, Values) {
    struct Row {
        int32_t value;
        const char* text;
    };
    const Row rows[] = {
        {0, "0"},           {7, "7"},
        {10, "10"},         {255, "255"},
        {-1, "-1"},         {-10, "-10"},
        {1000000, "1000000"}, {INT_MAX, "2147483647"},
        {INT_MIN, "-2147483648"}, {INT_MIN + 1, "-2147483647"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Str(IntToDecimal(row.value)), row.text);
    }
}

TEST(IntToDecimal, RoundTripsThroughStrtol) {
    for (int64_t v = INT_MIN; v <= INT_MAX; v += 104729 * 97) {
        std::string text = Str(IntToDecimal(static_cast<int32_t>(v)));
        EXPECT_EQ(std::stoll(text), v);
        EXPECT_EQ(std::to_string(v), text);
    }
}

TEST(ByteString, CopyKeepsEveryByteAndTerminates) {
    std::string bytes("a\x00\xFF", 3);
    ByteString copy = ByteString::Copy(View(bytes));
    ASSERT_FALSE(copy.Failed());
    EXPECT_EQ(std::string(copy.data(), copy.size()), bytes);
    EXPECT_EQ(copy.data()[copy.size()], '\0');
    ByteString moved = std::move(copy);
    EXPECT_TRUE(copy.Failed());
    EXPECT_EQ(moved.size(), 3u);
}

TEST(ByteString, ImpossibleSizeFailsInsteadOfThrowing) {
    ByteString huge(static_cast<size_t>(-1));
    EXPECT_TRUE(huge.Failed());
    EXPECT_EQ(huge.size(), 0u);
    EXPECT_EQ(huge.View().size, 0u);
}

}  // namespace
