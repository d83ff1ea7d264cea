// The default form as one table of pages: what each hides and lists, with the page read the same by a browser's parser before and after.
#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "DomReader.h"
#include "TokenOracle.h"
#include "Site.h"

namespace {

std::string Refs(const std::string& text) {
    std::string out;
    for (unsigned char c : text) out += "&#" + std::to_string(c) + ";";
    return out;
}

const std::string kUtf8 = "<meta charset=\"utf-8\">";

struct Row {
    const char* rule;
    std::string page;
    size_t anchors;      // anchors whose href was rewritten
    size_t values;       // other values with an address or "mailto:" hidden
    size_t readable;     // what --check finds afterwards
    const char* listed;  // part of the first reason listed, or null for none
    size_t line = 0;
    std::string out = "";  // the whole output when given
};

const std::vector<Row> kRows = {
    {"a link in a sentence", "<p>Write to <a href=\"mailto:x@y.org\">me x@y.org</a>.</p>\n", 1, 1, 0, nullptr, 0,
     "<p>Write to <a href=\"" + Refs("mailto:x@y.org") + "\">me " + Refs("x@y.org") + "</a>.</p>\n"},
    {"letter case, quotes, blanks, CR LF",
     "<A HREF='MAILTO:a@b.org'>a</A>\r\n<a href=mailto:a@b.org>b</a>\r\n<a href=\" mailto:a@b.org \">c</a>\r\n", 3, 0, 0,
     nullptr},
    {"attributes and the query keep their place",
     "<a class=\"reference external\" href=\"mailto:x@y.org?subject=Hi%20there&amp;cc=c@d.org\" title=\"Mail x@y.org\""
     " target=_blank>me</a>",
     1, 1, 0, nullptr, 0,
     "<a class=\"reference external\" href=\"" + Refs("mailto:x@y.org") + "?subject=Hi%20there&amp;cc=" + Refs("c@d.org") +
         "\" title=\"Mail " + Refs("x@y.org") + "\" target=_blank>me</a>"},
    {"references of the page around an address stay as they read",
     "<p>&copyjane@example.org &#64x@y.org &amp;a@b.org</p><a title=\"&copyjane@example.org\" href=\"/\">x</a>", 0, 2, 0,
     nullptr},
    {"a mailto: or an address in plain text", "<p>Use mailto:j@k.org, or write to j@k.org.</p>", 0, 1, 0, nullptr, 0,
     "<p>Use " + Refs("mailto:j@k.org") + ", or write to " + Refs("j@k.org") + ".</p>"},
    {"title and textarea decode references", "<title>a@b.org</title><textarea>\nc@d.org</textarea>", 0, 2, 0, nullptr},
    {"raw text is read as it stands",
     "<script>var a = \"a@b.org\";</script>\n<style>/* b@b.org */</style><xmp>c@b.org</xmp><iframe>d@b.org</iframe>"
     "<noembed>e@b.org</noembed><noframes>f@b.org</noframes><!-- g@b.org -->",
     0, 0, 7, "an address that stays readable (script): a@b.org", 1},
    {"script data: escaped and double-escaped text ends only where a browser ends it",
     "<script><!--<script>x</script>y@z.org</script>-->z@z.org<p>w@z.org</p>", 0, 2, 1,
     "(script): y@z.org", 1},
    {"an end tag of raw text with attributes", "<style>a@b.org</style x=\">\">c@d.org", 0, 1, 1, "(style): a@b.org", 1},
    {"comments that end at once", "<!-->a@b.org<!--->c@d.org<!-- x --!>e@f.org", 0, 3, 0, nullptr},
    {"JSON-LD: an address in a string takes \\u0040", "<script type=\"application/ld+json\">{\"email\": \"k@l.org\"}</script>",
     0, 1, 0, nullptr, 0, "<script type=\"application/ld+json\">{\"email\": \"k\\u0040l.org\"}</script>"},
    {"JSON-LD that is not JSON is left", "<script type=\"application/ld+json\">{\"email\": k@l.org}</script>", 0, 0, 1,
     "(JSON-LD): k@l.org", 1},
    {"SVG: text, a style sheet and a link decode references; CDATA does not",
     "<svg><style>.a{}/* s@t.org */</style><a href=\"mailto:u@v.org\"><text>w@x.org</text></a>"
     "<![CDATA[y@z.org]]></svg>",
     1, 2, 1, "(CDATA): y@z.org", 1},
    {"MathML and an SVG title as integration points", "<math><mi>a@b.org</mi></math><svg><title>c@d.org</title></svg>", 0, 2,
     0, nullptr},
    {"HTML that breaks out of SVG", "<svg><g><p>a@b.org<style>c@d.org</style>", 0, 1, 1, "(style): c@d.org", 1},
    {"SVG that the reader cannot follow is listed from there on",
     "<span><svg><g></span>a@b.org<style>c@d.org</style>", 0, 0, 2,
     "after SVG or MathML markup that this tool cannot read as a browser does", 1},
    {"SVG in a select", "<select><svg><style>a@b.org</style></svg></select>", 0, 0, 1, "cannot read as a browser does", 1},
    {"a CDATA section outside SVG is a bogus comment, and what follows it up to ]]> is left",
     "<![CDATA[ x > a@b.org ]]> c@d.org", 0, 1, 1, "a@b.org", 1},
    {"a noscript's content is hidden as browsers without scripts read it",
     "<noscript><a href=\"mailto:a@b.org\">a@b.org</a></noscript>", 1, 1, 0, nullptr},
    {"a noscript whose content reads otherwise without scripts is left",
     "<noscript><p title=\"</noscript><style>\">a@b.org</style>", 0, 0, 1, "a@b.org", 1},
    {"an opt-out region", "<!--email_off-->\n<a href=\"mailto:a@b.org\">a@b.org</a><!--/email_off--><p>c@d.org", 0, 1, 2,
     "inside an <!--email_off--> region", 2},
    {"an address in a tag's name or an attribute's name", "<p a@b.org x=1><c@d.org>", 0, 0, 2, "(tag <p>): a@b.org", 1},
    {"a tag that the page ends in", "<p>x</p><a href=\"mailto:a@b.org", 0, 0, 1, "(markup): a@b.org", 1},
    {"an internationalised address: its ASCII bytes as references, its letters as they stand",
     "<meta charset=\"utf-8\"><p>\xD0\xBF\xD1\x91\xD1\x82\xD1\x80@ex\xC3\xA4mple.org</p>", 0, 1, 0, nullptr, 0,
     "<meta charset=\"utf-8\"><p>\xD0\xBF\xD1\x91\xD1\x82\xD1\x80&#64;&#101;&#120;\xC3\xA4&#109;&#112;&#108;&#101;&#46;&#111;&#114;&#103;</p>"},
    {"Shift_JIS: a letter after a lead byte may be its second byte",
     "<meta charset=\"shift_jis\"><p>\x82\x61@example.org \x82\x9Fjane@example.org x@y.org</p>", 0, 1, 0, nullptr},
    {"EUC-JP: every byte of a character is above 127", "<meta charset=\"euc-jp\"><p>\xA4\xA2x@y.org</p>", 0, 1, 0, nullptr},
    {"no charset declared, bytes that are not UTF-8", "<p>\xE9x@y.org a@b.org</p>", 0, 1, 0, nullptr},
    {"ISO-2022-JP: ASCII bytes change meaning after an escape", "\n<meta charset=\"iso-2022-jp\"><p>a@b.org</p>", 0, 0, 1,
     "iso-2022-jp is neither UTF-8 nor", 2},
    {"UTF-16 is read, not written", std::string("\xFF\xFE<\0p\0>\0a\0@\0b\0.\0o\0r\0g\0", 20), 0, 0, 1, "UTF-16", 1},
    {"UTF-32 likewise", std::string("\xFF\xFE\0\0a\0\0\0@\0\0\0b\0\0\0.\0\0\0o\0\0\0r\0\0\0g\0\0\0", 32), 0, 0, 1,
     "the page is in UTF-32 (byte-order mark): references are written into UTF-8 and single-byte pages only", 1},
    {"the script form's code is left as it is",
     "<NOSCRIPT><A HREF=\"MAILTO:" + Refs("x@y.org") + "\">x</A></NOSCRIPT><SCRIPT LANGUAGE=JAVASCRIPT>\n<!-- \n"
     "var email1 = \"x\";\n//-->\n</SCRIPT>",
     0, 0, 0, nullptr},
};

TEST(References, Table) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.rule);
        const site::ProtectResult result = site::ProtectPage(row.page);
        EXPECT_EQ(result.rewritten, row.anchors);
        EXPECT_EQ(result.values, row.values);
        if (!row.out.empty()) EXPECT_EQ(result.output, row.out);
        if (row.listed == nullptr) {
            EXPECT_TRUE(result.listed.empty()) << result.listed[0].reason;
        } else {
            ASSERT_FALSE(result.listed.empty());
            EXPECT_NE(result.listed[0].reason.find(row.listed), std::string::npos) << result.listed[0].reason;
            EXPECT_EQ(result.listed[0].line, row.line);
        }
        // A browser's parser builds the same tree, references decoded.
        EXPECT_EQ(DomOf(result.output), DomOf(row.page));
        // The page reader reads the page and its output token for token as gumbo does.
        for (const std::string& page : {row.page, result.output}) {
            const auto [stream, gumbo] = OracleListings(page);
            EXPECT_EQ(stream, gumbo);
        }
        // Every other byte stays: the replaced spans put back give the page.
        std::string back = result.output;
        for (auto it = result.replaced.rbegin(); it != result.replaced.rend(); ++it) {
            back.replace(it->outputOffset, it->outputLength, row.page, it->inputOffset, it->inputLength);
        }
        EXPECT_EQ(back, row.page);
        // --check finds what was listed, and neither form takes anything more.
        EXPECT_EQ(site::CheckPage(result.output).size(), row.readable);
        EXPECT_EQ(site::ProtectPage(result.output).output, result.output);
        EXPECT_EQ(site::ProtectPage(result.output, {site::Form::kScript, nullptr}).rewritten, 0u);
    }
}

// Known addresses stay readable on purpose, counted apart.
TEST(References, AcceptedAddressesStay) {
    const std::unordered_set<std::string> accepted = {"abuse@example.org"};
    const std::string page = "<p>ABUSE@example.org, <a href=\"mailto:jo@example.org\">jo</a></p><script>abuse@example.org</script>";
    const site::ProtectResult result = site::ProtectPage(page, {site::Form::kReferences, &accepted});
    EXPECT_EQ(result.accepted, 2u);
    EXPECT_EQ(result.optedOut, 0u);
    EXPECT_TRUE(result.listed.empty());
    const site::ProtectResult off = site::ProtectPage("<!--email_off--><p>jo@example.org, abuse@example.org<!--/email_off-->",
                                                      {site::Form::kReferences, &accepted});
    EXPECT_EQ(off.optedOut, 2u);
    EXPECT_EQ(off.listed.size(), 2u);
    EXPECT_NE(result.output.find("ABUSE@example.org"), std::string::npos);
    EXPECT_EQ(result.rewritten, 1u);
}

// An XHTML page is read as XML, as browsers read it: references decode in a script's text too.
TEST(References, XhtmlIsReadAsXml) {
    const std::string page =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\"><body>"
        "<p><a href=\"mailto:a@b.org\">a@b.org</a></p><script>var x = 'c@d.org';</script><!-- e@f.org --></body></html>";
    const site::ProtectResult result = site::ProtectFile(site::FileKind::kXhtml, page);
    EXPECT_EQ(result.values, 4u);
    ASSERT_EQ(result.listed.size(), 1u);
    EXPECT_NE(result.listed[0].reason.find("XML comment"), std::string::npos);
    EXPECT_EQ(result.output.find("mailto:"), std::string::npos);
    EXPECT_EQ(site::CheckFile(site::FileKind::kXhtml, result.output).size(), 1u);
    EXPECT_EQ(site::ProtectFile(site::FileKind::kXhtml, result.output).output, result.output);
}

}  // namespace
