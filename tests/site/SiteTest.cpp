// The page rules as one table of pages: what each becomes or why it is listed, and where --check finds addresses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Site.h"

namespace {

std::string Crlf(std::string text) {
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.replace(at, 1, "\r\n");
    return text;
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

// "x@y.org" as the NOSCRIPT part writes it.
const std::string kRefs = "&#120;&#64;&#121;&#46;&#111;&#114;&#103;";
const std::string kCode =
    "<NOSCRIPT><A HREF=\"MAILTO:" + kRefs + "\">me " + kRefs + "</A></NOSCRIPT><SCRIPT LANGUAGE=JAVASCRIPT>\n"
    "<!-- \n"
    "var link = \"me " + kRefs + "\";\n"
    "var tag1 = \"mail\";\nvar tag2 = \"to:\";\nvar email1 = \"x\";\nvar email2 = \"y.org\";\n"
    "document.write(\"<a h\" + \"ref=\" + tag1 + tag2 + email1 + \"@\" + email2 + \">\" + link + \"</a>\");\n"
    "//-->\n"
    "</SCRIPT>";
const std::string kLink = "<a href=\"mailto:x@y.org\">me x@y.org</a>";
const std::string kUtf8 = "<meta charset=\"utf-8\">";

struct Row {
    const char* rule;
    std::string page;
    size_t rewritten;
    std::string out;     // the whole output when given
    const char* listed;  // part of the one reason listed, or null for none
    size_t line;
};

const std::vector<Row> kRows = {
    {"worked example, LF", "<p>Write to " + kLink + ".</p>\n", 1, "<p>Write to " + kCode + ".</p>\n", nullptr, 0},
    {"the file's CR LF", Crlf("<p>Write to " + kLink + ".</p>\n"), 1, Crlf("<p>Write to " + kCode + ".</p>\n"),
     nullptr, 0},
    {"LF where the file has no line end", kLink, 1, kCode, nullptr, 0},
    {"letter case, quotes, references, blanks",
     "<A HREF='MAILTO:a@b.org'>a</A><a href=mailto:a@b.org>b</a><a href=\" mailto:a&#64;b.org \">c</a>", 3, "",
     nullptr, 0},
    {"inline markup in the content", "<a href=\"mailto:a@b.org\"><b>Mail</b> <img src=i.png><svg/></a>", 1, "",
     nullptr, 0},
    {"XML declaration and XHTML namespace in *.html",
     "<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><body>" + kLink, 1, "", nullptr, 0},
    {"mailto written as references", "<a href=\"&#109;ailto:a@b.org\">a</a>", 0, "", nullptr, 0},
    {"not a mailto link", "<a href=\"https://mailto.example/\">x</a>", 0, "", nullptr, 0},
    {"other attributes", "\n\n<a class=\"m\" href=\"mailto:a@b.org\">a</a>", 0, "", "other attributes than href (class)", 3},
    {"a query", "<a href=\"mailto:a@b.org?subject=Hi\">a</a>", 0, "", "a query", 1},
    {"two addresses", "<a href=\"mailto:a@b.org,c@d.org\">a</a>", 0, "", "not one address", 1},
    {"no @", "<a href=\"mailto:postmaster\">a</a>", 0, "", "not one address", 1},
    {"a blank in the address", "<a href=\"mailto:a b@c.org\">a</a>", 0, "", "bytes in the address", 1},
    {"empty content", "<a href=\"mailto:a@b.org\"></a>", 0, "", "empty content", 1},
    {"no end tag", "<p><a href=\"mailto:a@b.org\">a", 0, "", "no end tag", 1},
    {"closed by another element's end tag", "<b><a href=\"mailto:a@b.org\">x</b>y</a>", 0, "", "the parser moved", 1},
    {"an anchor inside", "<a href=\"mailto:a@b.org\">x<a href=\"/\">y</a></a>", 0, "", "no end tag", 1},
    {"closes an anchor left open", "<a href=\"/\">x <a href=\"mailto:a@b.org\">y</a>", 0, "", "closes an anchor", 1},
    {"misnested markup inside", "<a href=\"mailto:a@b.org\"><b>x</a>", 0, "", "misnested markup inside", 1},
    {"in a table, foster-parented", "<table><a href=\"mailto:a@b.org\">x</a><tr><td>", 0, "", "the parser moved", 1},
    {"in a template", "<template><a href=\"mailto:a@b.org\">x</a></template>", 0, "", "inside a <template>", 1},
    {"in SVG", "<svg><foreignObject><a href=\"mailto:a@b.org\">x</a></foreignObject></svg>", 0, "",
     "inside SVG or MathML", 1},
    {"in script, textarea, title, comment, noscript",
     "<title>mailto:a@b.org <a href=\"mailto:a@b.org\">x</a></title><script><a href=\"mailto:a@b.org\">x</a>"
     "</script><textarea><a href=\"mailto:a@b.org\">x</a></textarea><!-- <a href=\"mailto:a@b.org\">x</a> -->"
     "<noscript><a href=\"mailto:a@b.org\">x</a></noscript>",
     0, "", nullptr, 0},
    {"opt-out region, then after it", "<!--email_off-->\n" + kLink + "<!--/email_off-->" + kLink, 1, "",
     "<!--email_off--> region", 2},
    {"UTF-8 byte-order mark", "\xEF\xBB\xBFz\xC3\xBC" + kLink, 1, "", nullptr, 0},
    {"meta charset UTF-8", kUtf8 + "z\xC3\xBC" + kLink, 1, "", nullptr, 0},
    {"single-byte charset by http-equiv",
     "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-2\">\xBF" + kLink, 1, "", nullptr, 0},
    {"no charset, ASCII only", kLink, 1, kCode, nullptr, 0},
    {"no charset, a byte above 127", "\n\xBF" + kLink, 0, "", "no charset declared", 1},
    {"Shift_JIS", "<meta charset=\"Shift_JIS\">\x83\x5C" + kLink, 0, "", "double-byte characters", 1},
    {"Big5", "<meta http-equiv=\"content-type\" content=\"text/html;charset=big5\">" + kLink, 0, "",
     "double-byte characters", 1},
    {"EUC-JP", "<meta charset=\"euc-jp\">" + kLink, 0, "", "neither UTF-8 nor a single-byte", 1},
    {"UTF-16", std::string("\xFF\xFE<\0a\0", 6) + "mailto", 0, "", "UTF-16", 1},
    {"CSP without unsafe-inline",
     "\n<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'self'\">" + kLink, 0, "",
     "Content-Security-Policy", 2},
    {"CSP with a nonce", "<meta http-equiv=\"Content-Security-Policy\" content=\"script-src 'unsafe-inline' 'nonce-a'\">" + kLink,
     0, "", "Content-Security-Policy", 1},
    {"CSP that allows inline scripts",
     "<meta http-equiv=\"Content-Security-Policy\" content=\"img-src *; script-src 'self' 'unsafe-inline'\">" + kLink,
     1, "", nullptr, 0},
    {"nested past the depth cap", Repeat("<div>", 600) + kLink, 0, "", "nest deeper", 1},
    {"nested within the depth cap", Repeat("<div>", 500) + kLink, 1, "", nullptr, 0},
};

TEST(Site, ProtectTable) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.rule);
        const site::ProtectResult result = site::ProtectPage(row.page);
        EXPECT_EQ(result.rewritten, row.rewritten);
        if (!row.out.empty()) EXPECT_EQ(result.output, row.out);
        if (row.rewritten == 0) EXPECT_EQ(result.output, row.page);
        if (row.listed == nullptr) {
            EXPECT_TRUE(result.listed.empty()) << result.listed[0].reason;
        } else {
            ASSERT_EQ(result.listed.size(), 1u);
            EXPECT_NE(result.listed[0].reason.find(row.listed), std::string::npos) << result.listed[0].reason;
            EXPECT_EQ(result.listed[0].line, row.line);
        }
        // Every other byte stays: the replaced spans put back give the page.
        std::string back = result.output;
        for (auto it = result.replaced.rbegin(); it != result.replaced.rend(); ++it) {
            back.replace(it->outputOffset, it->outputLength, row.page, it->inputOffset, it->inputLength);
        }
        EXPECT_EQ(back, row.page);
        const site::ProtectResult again = site::ProtectPage(result.output);
        EXPECT_EQ(again.rewritten, 0u);
        EXPECT_EQ(again.output, result.output);
        // The code shows no address for --check to find, and a page protected whole needs no parse again.
        if (row.rewritten != 0 && row.listed == nullptr) {
            EXPECT_TRUE(site::CheckPage(result.output).empty());
            EXPECT_EQ(again.parserMemory, 0u);
        }
    }
}

TEST(Site, PagePastTheSizeCapIsLeftWhole) {
    std::string page(site::kMaxPageBytes + 1, ' ');
    page.replace(0, kLink.size(), kLink);
    const site::ProtectResult result = site::ProtectPage(page);
    EXPECT_EQ(result.cap, site::Cap::kPageSize);
    EXPECT_TRUE(result.pageLeft);
    EXPECT_EQ(result.output, page);
}

TEST(Site, CheckTable) {
    const std::string page =
        "<p>Mail x@y.org or x&#64;y.org</p>\n"
        "<a title=\"a.b@c.example.com\" href=\"mailto:d@e.org\">f</a><!-- g@h.info -->\n"
        "<script>var s = \"i@j.net\";</script><script type=\"application/ld+json\">{\"email\": \"k@l.org\"}</script>\n"
        "<style>@import url(m.css); @media print {}</style>"
        "<img src=\"name@2x.png\"> package@1.2.3 user@host x@y.org. u_v+w@sub.dom-ain.travel";
    std::string found;
    for (const site::Finding& f : site::CheckPage(page)) {
        found += std::to_string(f.line) + " " + f.where + " " + f.address + "\n";
    }
    EXPECT_EQ(found,
              "1 text x@y.org\n"
              "2 attribute title a.b@c.example.com\n"
              "2 attribute href d@e.org\n"
              "2 comment g@h.info\n"
              "3 script i@j.net\n"
              "3 JSON-LD k@l.org\n"
              "4 text x@y.org\n"
              "4 text u_v+w@sub.dom-ain.travel\n");
}

}  // namespace
