// The script form's page rules as one table of pages, the other files a site publishes, the parser's caps, and where --check finds addresses.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "CodeReader.h"
#include "MailCode.h"
#include "Scan.h"
#include "TokenOracle.h"
#include "ValueReader.h"
#include "Site.h"

using namespace std::string_literals;

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

// ASCII text in UTF-16 or UTF-32 (`unit` bytes), after its byte-order mark.
std::string Wide(const std::string& text, size_t unit, bool bigEndian) {
    std::string out;
    for (size_t i = 0; i <= text.size(); ++i) {
        const unsigned long code = i == 0 ? 0xFEFF : static_cast<unsigned char>(text[i - 1]);
        for (size_t k = 0; k < unit; ++k) out += static_cast<char>(code >> (8 * (bigEndian ? unit - 1 - k : k)) & 0xFF);
    }
    return out;
}

// "x@y.org" as the NOSCRIPT part writes it.
const std::string kRefs = "&#120;&#64;&#121;&#46;&#111;&#114;&#103;";
const std::string kCode =
    "<NOSCRIPT><A HREF=\"MAILTO:" + kRefs + "\">me " + kRefs + "</A></NOSCRIPT><SCRIPT LANGUAGE=JAVASCRIPT>\n"
    "<!-- \n"
    "(function () {\n"
    "var link = \"me " + kRefs + "\";\n"
    "var tag1 = \"mail\";\nvar tag2 = \"to:\";\nvar email1 = \"x\";\nvar email2 = \"y.org\";\n"
    "document.write(\"<a h\" + \"ref=\" + tag1 + tag2 + email1 + \"@\" + email2 + \">\" + link + \"</a>\");\n"
    "})();\n"
    "//-->\n"
    "</SCRIPT>";
const std::string kLink = "<a href=\"mailto:x@y.org\">me x@y.org</a>";
const std::string kUtf8 = "<meta charset=\"utf-8\">";

struct Row {
    const char* rule;
    std::string page;
    size_t rewritten;
    std::string out;     // the whole output when given
    const char* listed;  // part of the first reason listed, or null for none
    size_t line;
    size_t count = 1;    // reasons listed
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
    {"mailto and the whole href written as references",
     "<a href=\"&#109;ailto:a@b.org\">a</a><a href=\"&#109;&#97;&#105;&#108;&#x74;&#111;&#58;&#97;&#64;b.org\">b</a>", 2,
     "", nullptr, 0},
    {"not a mailto link", "<a href=\"https://mailto.example/\">x</a>", 0, "", nullptr, 0},
    {"attributes carried, an address in one hidden",
     "<a class=\"reference external\" href=\"mailto:x@y.org\" title=\"Mail x@y.org\">me</a>", 1,
     "<NOSCRIPT><A HREF=\"MAILTO:" + kRefs + "\" class=\"reference external\" title=\"&#77;&#97;&#105;&#108;&#32;" +
         kRefs + "\">me</A></NOSCRIPT><SCRIPT LANGUAGE=JAVASCRIPT>\n<!-- \n(function () {\nvar link = \"me\";\nvar tag1 = \"mail\";\n"
         "var tag2 = \"to:\";\nvar email1 = \"x\";\nvar email2 = \"y.org\";\nvar attributes = \" class=\\\"reference "
         "external\\\" title=\\\"&#77;&#97;&#105;&#108;&#32;" + kRefs + "\\\"\";\n"
         "document.write(\"<a h\" + \"ref=\" + tag1 + tag2 + email1 + \"@\" + email2 + attributes + \">\" + link + "
         "\"</a>\");\n})();\n//-->\n</SCRIPT>",
     nullptr, 0},
    {"hostile attribute values: quotes, backslash, end tags, comment, CR LF, references, bytes above 127",
     kUtf8 + "<a data-a='say \"hi\" \\ </script> <!-- x' data-b=\"</noscript>&amp;&lt;\r\nmailto:\" data-c=x&copy=1"
             " data-d=\"&amp;copy=1 a@b.org &\" data-e=\"caf\xC3\xA9 \xE2\x80\x94\" download href=mailto:a@b.org>a</a>",
     1, "", nullptr, 0},
    {"event handler", "\n\n<a onclick=\"track()\" href=\"mailto:a@b.org\">a</a>", 0, "", "event handler attribute (onclick)", 3},
    {"a tag over several lines is listed on its address's line, where --check finds it",
     "<a onclick=\"track()\"\n   class=\"x\"\n   href=\"mailto:a@b.org\">a</a>", 0, "", "event handler attribute", 3},
    {"queries, addresses in cc hidden, several addresses",
     "<a href=\"mailto:a@b.org?subject=Hello%20there&amp;cc=c@d.org\">a</a><a href=\"mailto:a@b.org?subject=Hi there&body=x\">b</a>"
     "<a href=\"mailto:a@b.org,c@d.org?bcc=e@f.org#top\">c</a>", 3, "", nullptr, 0},
    {"percent-encoded @, references of it", "<a href=\"mailto:a%40b.org\">a</a><a href=\"mailto:a&#37;&#52;&#48;b.org\">b</a>",
     2, "", nullptr, 0},
    {"no @", "<a href=\"mailto:postmaster\">a</a>", 0, "", "not one address", 1},
    {"only a query", "<a href=\"mailto:?to=a@b.org\">a</a>", 0, "", "no address before the query", 1},
    {"a blank in the address", "<a href=\"mailto:a b@c.org\">a</a>", 0, "", "bytes in the address", 1},
    {"a % in the address, once decoded", "<a href=\"mailto:a%2541@c.org\">a</a>", 0, "", "bytes in the address", 1},
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
    {"an SVG icon inside", "<a href=\"mailto:a@b.org\"><svg viewBox=\"0 0 9 9\"><path d=\"M0 0\"/></svg> Mail</a>", 1, "",
     nullptr, 0},
    {"in an option", "<option><a href=\"mailto:a@b.org\">x</a></option>", 0, "", "inside an <option>", 1},
    {"in a select, which this parser drops", "<select>\n<a href=\"mailto:a@b.org\">x</a></select>", 0, "",
     "an <a> that this parser drops", 2},
    {"noscript markup in the content", "<a href=\"mailto:a@b.org\">x<!-- </noscript> --></a>", 0, "",
     "noscript markup", 1},
    {"a NUL in the content", "<a href=\"mailto:a@b.org\">x" + std::string(1, '\0') + "y</a>", 0, "", "a NUL byte", 1},
    {"a readable link in a noscript, and the code's own", "<p><noscript><a href=\"mailto:a@b.org\">x</a></noscript>" + kCode,
     0, "", "inside a <noscript>", 1},
    {"in script, textarea, title, comment",
     "<title>mailto:a@b.org <a href=\"mailto:a@b.org\">x</a></title><script><a href=\"mailto:a@b.org\">x</a>"
     "</script><textarea><a href=\"mailto:a@b.org\">x</a></textarea><!-- <a href=\"mailto:a@b.org\">x</a> -->",
     0, "", "an address that stays readable (title): a@b.org", 1, 5},
    {"opt-out region, then after it", "<!--email_off-->\n" + kLink + "<!--/email_off-->" + kLink, 1, "",
     "<!--email_off--> region", 2, 2},
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
    {"a charset name that would break the listing line", "<meta charset=\"x\nforged.html:1: y\">" + kLink, 0, "",
     "charset x?forged.html:1: y is neither", 1},
    {"UTF-16, read in its own encoding", std::string("\xFF\xFE<\0a\0 \0m\0a\0i\0l\0t\0o\0", 20), 0, "", "UTF-16", 1},
    {"UTF-32, big-endian", Wide("\n" + kLink, 4, true), 0, "",
     "the page is in UTF-32 (byte-order mark): the code is written into UTF-8 and single-byte pages only", 1},
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
    {"more addresses in the href than the code looks for",
     "<a href=\"mailto:" + Repeat("a@b.org,", 64) + "c@d.org\">x</a>", 0, "", "more than 64 addresses", 1},
    {"loads its next pages by script (htmx)", "<body hx-boost=\"true\">\n" + kLink, 0, "", "loads its next pages by script", 1},
    {"loads its next pages by script (htmx 4)", "<body hx-boost:inherited=\"true\">\n" + kLink, 0, "", "htmx hx-boost", 1},
    {"loads its next pages by script (instant loading's config)",
     "<script id=\"__config\" type=\"application/json\">{\"features\": [\"navigation.instant\"]}</script>" + kLink, 0, "",
     "navigation.instant", 1},
    {"a link the references form wrote is left alone",
     "<a href=\"&#109;&#97;&#105;&#108;&#116;&#111;&#58;&#120;&#64;y.org\">x</a>", 0, "", nullptr, 0},
};

const site::ProtectOptions kScriptForm = {site::Form::kScript, nullptr};

TEST(Site, ScriptFormTable) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.rule);
        const site::ProtectResult result = site::ProtectPage(row.page, kScriptForm);
        EXPECT_EQ(result.rewritten, row.rewritten);
        if (!row.out.empty()) EXPECT_EQ(result.output, row.out);
        if (row.rewritten == 0) EXPECT_EQ(result.output, row.page);
        if (row.listed == nullptr) {
            EXPECT_TRUE(result.listed.empty()) << result.listed[0].reason;
        } else {
            ASSERT_EQ(result.listed.size(), row.count);
            EXPECT_NE(result.listed[0].reason.find(row.listed), std::string::npos) << result.listed[0].reason;
            EXPECT_EQ(result.listed[0].line, row.line);
        }
        // Every other byte stays: the replaced spans put back give the page.
        std::string back = result.output;
        for (auto it = result.replaced.rbegin(); it != result.replaced.rend(); ++it) {
            back.replace(it->outputOffset, it->outputLength, row.page, it->inputOffset, it->inputLength);
        }
        EXPECT_EQ(back, row.page);
        // The page reader reads each page as gumbo does, token for token.
        const auto [stream, gumbo] = OracleListings(row.page);
        EXPECT_EQ(stream, gumbo);
        // Each code shows, with scripts off and on, the anchor it replaced.
        for (const site::Replaced& r : result.replaced) {
            SeenAnchor original, noScript, script;
            ASSERT_TRUE(SeeAnchor(row.page.substr(r.inputOffset, r.inputLength), original));
            ASSERT_TRUE(SeeCode(result.output.substr(r.outputOffset, r.outputLength), noScript, script))
                << result.output.substr(r.outputOffset, r.outputLength);
            EXPECT_EQ(noScript, original) << noScript.href << " " << original.href;
            EXPECT_EQ(script, original) << script.href << " " << original.href;
        }
        const site::ProtectResult again = site::ProtectPage(result.output, kScriptForm);
        EXPECT_EQ(again.rewritten, 0u);
        EXPECT_EQ(again.output, result.output);
        // The code shows no address for --check to find, the default form leaves it as it is, and a page
        // protected whole needs no parse again.
        if (row.rewritten != 0 && row.listed == nullptr) {
            EXPECT_EQ(site::ProtectPage(result.output).output, result.output);
            EXPECT_TRUE(site::CheckPage(result.output).empty());
            EXPECT_EQ(again.parserMemory, 0u);
        }
    }
}

// Codes the generator writes, each in Crypt's form (pasted into a page) and
// in a page's form: the site library must know every one as its own.
struct CodeRow {
    const char* addresses;
    const char* text;
    const char* tail;  // a page's form only
};
const std::vector<CodeRow> kCodeRows = {
    {"x@y.org", "me", ""},
    {"first.last+tag@mail.example.co.uk", "Write <b>to us</b>", "?subject=Hello%20there"},
    {"desk@mail.example", "", "?cc=mailto@b.org&body=x"},
    {"postmaster", "the postmaster", ""},  // no "@": the NOSCRIPT part alone
};

std::string PageFormCode(const CodeRow& row) {
    const CarriedAttribute attributes[] = {{ByteView("class", 5), ByteView("mail", 4), false},
                                           {ByteView("title", 5), ByteView("to x@y.org", 10), true}};
    const PageForm form = {ByteView("\n", 1), ByteView::FromCString(row.tail), attributes, 2};
    const ByteView addresses = ByteView::FromCString(row.addresses), text = ByteView::FromCString(row.text);
    std::string code(WritePageCode(nullptr, addresses, text, form), '\0');
    WritePageCode(&code[0], addresses, text, form);
    return code;
}

TEST(Site, GeneratedCodeIsKnownAsItsOwn) {
    for (const CodeRow& row : kCodeRows) {
        const ByteString crypt = ComposeMailCode(ByteView::FromCString(row.addresses), ByteView::FromCString(row.text));
        for (const std::string& code : {std::string(crypt.data(), crypt.size()), PageFormCode(row)}) {
            const std::string page = "<p>Write to " + code + ".</p>\n";
            SCOPED_TRACE(page);
            const site::ProtectResult script = site::ProtectPage(page, kScriptForm);
            EXPECT_EQ(script.rewritten, 0u);
            EXPECT_EQ(script.output, page);
            EXPECT_TRUE(script.listed.empty()) << script.listed[0].reason;
            const site::ProtectResult references = site::ProtectPage(page);
            EXPECT_EQ(references.output, page);
            EXPECT_TRUE(references.listed.empty()) << references.listed[0].reason;
            EXPECT_TRUE(site::CheckPage(page).empty());
        }
        // A page's form leaves no "mailto" that would call for a parse.
        EXPECT_FALSE(site::HasMailto(PageFormCode(row))) << row.addresses;
    }
}

// Markup of a page's own that comes near the code's NOSCRIPT anchor: listed, never taken for the code.
TEST(Site, LookAlikeOfTheCodeIsThePagesOwn) {
    const std::string refs = "&#120;&#64;&#121;&#46;&#111;&#114;&#103;";
    const std::string rows[] = {
        "<NOSCRIPT><A HREF=\"MAILTO:x@y.org\">me</A></NOSCRIPT>",
        "<NOSCRIPT><A HREF=\"MAILTO:x&#64;y.org\">me</A></NOSCRIPT>",
        "<NOSCRIPT><A HREF=\"mailto:" + refs + "\">me</A></NOSCRIPT>",
        "<NOSCRIPT><a href=\"MAILTO:" + refs + "\">me</a></NOSCRIPT>",
        "<NOSCRIPT><A  HREF=\"MAILTO:" + refs + "\">me</A></NOSCRIPT>",
    };
    for (const std::string& page : rows) {
        SCOPED_TRACE(page);
        const site::ProtectResult result = site::ProtectPage(page, kScriptForm);
        EXPECT_EQ(result.rewritten, 0u);
        ASSERT_EQ(result.listed.size(), 1u);
        EXPECT_NE(result.listed[0].reason.find("inside a <noscript>"), std::string::npos) << result.listed[0].reason;
    }
}

struct FileRow {
    const char* rule;
    const char* name;
    std::string file;
    size_t found;        // readable addresses
    size_t hidden;       // values rewritten to hide them
    const char* listed;  // part of the one reason listed, or null for none
};

const std::vector<FileRow> kFileRows = {
    {"search index", "search/search_index.json",
     R"({"docs": [{"location": "contact/", "title": "Contact", "text": "Mail <a href=\"mailto:jane@example.org\">)"
     R"(jane@example.org</a>\nline\njo@x.org \u00e9 x\u0040y.org"}], "n": [1, -2.5e3, true, null]})", 3, 1, nullptr},
    {"not JSON", "data.json", "{\"a\": \"jane@example.org\",}", 1, 0, "not valid JSON"},
    {"RSS, escaped HTML", "feed.xml",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><managingEditor>jane@example.org "
     "(Jane)</managingEditor><item><description>&lt;a href=\"mailto:jane@example.org\"&gt;Jane&lt;/a&gt; &amp; "
     "&#233;</description></item></channel></rss>\n", 2, 2, nullptr},
    {"Atom, CDATA and an attribute", "atom.xml",
     "<feed xmlns=\"http://www.w3.org/2005/Atom\"><author><email>jane@example.org</email></author><entry>"
     "<link href=\"mailto:bob@example.net\"/><content type=\"html\"><![CDATA[<a href=\"mailto:bob@example.net\">"
     "Bob</a>]]></content></entry></feed>", 3, 3, nullptr},
    {"an address in a comment", "feed.xml", "<rss><!-- jane@example.org --></rss>", 1, 0, "XML comment"},
    {"not well-formed", "feed.xml", "<rss><item>jane@example.org &nbsp;</item></rss>", 1, 0, "not well-formed XML"},
    {"a double-byte encoding, whose second bytes can be letters", "feed.xml",
     "<?xml version=\"1.0\" encoding=\"windows-31j\"?><rss><item>\x82\x61@example.org jane@example.org</item></rss>", 2, 0,
     "the encoding windows-31j"},
    {"a DOCTYPE whose identifier holds \">\"", "feed.xml",
     "<!DOCTYPE rss SYSTEM \"http://x.org/a>b/jane@example.org.dtd\"><rss><item>bob@example.org</item></rss>", 2, 1,
     "an address in an XML comment or instruction"},
    {"a published source", "_sources/contact.rst.txt", "Mail\n`Jane <mailto:jane@example.org>`_\n", 1, 0,
     "1 readable address in a published text file"},
    {"a script's licence header", "bundle.min.js", "/*! (c) a@b.org */!function(e){e@1.2.3}", 1, 0,
     "1 readable address in a published script file"},
    {"a generator's cache", ".doctrees/contact.doctree", std::string("\x80\x04\0jane@example.org", 20), 1, 0,
     "a generator's cache"},
    {"an image, read as bytes", "hero@2x.png", std::string("\x89PNG\r\n\x1a\n\0\0jane@example.org", 26), 1, 0,
     "1 readable address in a binary file"},
    {"a PDF's link annotation", "contact.pdf",
     "%PDF-1.4\n%\xE2\xE3\n1 0 obj\n<< /Length 4 >>\nstream\n\0\0\0\0\nendstream\nendobj\n"s +
         "2 0 obj\n<< /Type /Annot /Subtype /Link /A << /S /URI /URI (mailto:jane@example.org) >> >>\nendobj\n",
     1, 0, "1 readable address in a binary file"},
    {"a script in UTF-16, big-endian: text, not binary", "app.js", Wide("var a = \"jane@example.org\";", 2, true), 1,
     0, "1 readable address in a published script file in UTF-16 or UTF-32"},
    {"JSON in UTF-32, read and listed, not rewritten", "data.json", Wide("{\"a\": \"jane@example.org\"}", 4, false), 1,
     0, "in UTF-16 or UTF-32"},
    {"an image without addresses", "logo.png", std::string("\x89PNG\r\n\x1a\n\0\0@2x", 13), 0, 0, nullptr},
};

TEST(Site, FileTable) {
    for (const FileRow& row : kFileRows) {
        SCOPED_TRACE(row.rule);
        const site::FileKind kind = site::KindOfFile(row.name, row.file);
        const site::ProtectResult result = site::ProtectFile(kind, row.file);
        EXPECT_EQ(result.values, row.hidden);
        ASSERT_EQ(result.listed.size(), row.listed ? 1u : 0u);
        if (row.listed) EXPECT_NE(result.listed[0].reason.find(row.listed), std::string::npos) << result.listed[0].reason;
        // Readers of the file get the same values; collectors find nothing where they were hidden; a second run is idle.
        if (row.hidden != 0) {
            const site::FileKind format = kind == site::FileKind::kXml ? kind : site::FileKind::kJson;
            EXPECT_EQ(Values(format, result.output), Values(format, row.file));
            EXPECT_NE(Values(format, row.file), "");
            // What stays readable is what was listed.
            EXPECT_EQ(site::CheckFile(kind, result.output).size(), row.listed ? 1u : 0u);
        }
        const site::ProtectResult again = site::ProtectFile(kind, result.output);
        EXPECT_EQ(again.values, 0u);
        EXPECT_EQ(again.output, result.output);
        EXPECT_EQ(site::CheckFile(kind, row.file).size(), row.found);
    }
}

TEST(Site, PagePastTheSizeCapIsLeftWhole) {
    std::string page(site::kMaxPageBytes + 1, ' ');
    page.replace(0, kLink.size(), kLink);
    const site::ProtectResult result = site::ProtectPage(page, kScriptForm);
    EXPECT_EQ(result.cap, site::Cap::kPageSize);
    EXPECT_TRUE(result.pageLeft);
    EXPECT_EQ(result.output, page);
}

// The parser's caps count work: the same page is left, or taken, on every
// machine. Attributes cost gumbo's duplicate check a comparison per pair; the
// default form reads the same page without one.
TEST(Site, AttributePairsCapCountsWork) {
    const auto page = [](size_t attributes) {
        std::string tag = "<p";
        for (size_t i = 0; i < attributes; ++i) tag += " a" + std::to_string(i) + "=x";
        return kUtf8 + tag + ">" + kLink;
    };
    // n attributes make n * (n - 1) / 2 pairs: 1,000 stay under the cap for their page, 200,000 do not.
    const std::string within = page(1000), past = page(200000);
    ASSERT_LT(1000ull * 999 / 2, site::AttributePairsCap(within.size()));
    ASSERT_GT(200000ull * 199999 / 2, site::AttributePairsCap(past.size()));
    EXPECT_EQ(site::ProtectPage(within, kScriptForm).rewritten, 1u);
    const site::ProtectResult left = site::ProtectPage(past, kScriptForm);
    EXPECT_EQ(left.cap, site::Cap::kAttributes);
    EXPECT_TRUE(left.pageLeft);
    EXPECT_EQ(left.output, past);
    EXPECT_EQ(site::ProtectPage(past).rewritten, 1u);
}

TEST(Site, CheckTable) {
    const std::string page =
        "<p>Mail x@y.org or x&#64;y.org</p>\n"
        "<a title=\"a.b@c.example.com\" href=\"mailto:d@e.org\">f</a><!-- g@h.info -->\n"
        "<script>var s = \"i@j.net\";</script><script type=\"application/ld+json\">{\"email\": \"k@l.org\"}</script>\n"
        "<style>@import url(m.css); @media print {}</style>"
        "<img src=\"name@2x.png\"> package@1.2.3 user@host x@y.org. u_v+w@sub.dom-ain.travel\n"
        "a@b.md c@d.xn--p1ai e@f.xn--";
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
              "4 text u_v+w@sub.dom-ain.travel\n"
              "5 text a@b.md\n"
              "5 text c@d.xn--p1ai\n");
}

// Internationalised addresses (RFC 6531) as a Unicode-aware collector reads
// them in UTF-8, without the signs and punctuation around them; in a page
// that may be in a double-byte charset, ASCII ones only.
TEST(Site, InternationalAddresses) {
    const struct {
        std::string page;
        std::string found;
    } cases[] = {
        {"<p>jane@ex\xC3\xA4mple.org</p>", "jane@ex\xC3\xA4mple.org|"},
        {"<p>jane@example.\xD1\x80\xD1\x84, and</p>", "jane@example.\xD1\x80\xD1\x84|"},
        {"<p>\xD0\xBF\xD1\x91\xD1\x82\xD1\x80@example.org</p>", "\xD0\xBF\xD1\x91\xD1\x82\xD1\x80@example.org|"},
        {"<p>\xC2\xABjane@example.org\xC2\xBB \xE2\x80\x94x@y.org\xE2\x80\xA6</p>", "jane@example.org|x@y.org|"},
        {"<p>2\xC3\x97" "3@example.org \xE3\x80\x8C" "a@b.org\xE3\x80\x8D</p>", "3@example.org|a@b.org|"},
        {"<p>name@2x.png user@host pkg@1.2.3 a@b.\xC3\xA9</p>", ""},
        // Not UTF-8 and no charset: the bytes above 127 are not letters here.
        {"<p>\xE9t\xE9 jane@ex\xE4mple.org</p>", ""},
        {"<meta charset=\"shift_jis\"><p>\x82\x61@example.org \xD0\xBF@example.org</p>", ""},
    };
    for (const auto& c : cases) {
        std::string found;
        for (const site::Finding& f : site::CheckPage(c.page)) found += f.address + "|";
        EXPECT_EQ(found, c.found) << c.page;
    }
}

// Every top-level domain of the public suffix list makes an address, in its
// own letters and in ASCII: none is taken for a file extension.
TEST(Site, EveryTopLevelDomainMakesAnAddress) {
    std::ifstream list("/usr/share/publicsuffix/public_suffix_list.dat");
    ASSERT_TRUE(list) << "Debian's publicsuffix package is missing (tools/setup.sh installs it)";
    size_t domains = 0;
    for (std::string line; std::getline(list, line);) {
        if (line.empty() || line.compare(0, 2, "//") == 0 || line.find('.') != std::string::npos) continue;
        ++domains;
        EXPECT_FALSE(site::CheckPage("jane@example." + line).empty()) << line;
    }
    EXPECT_GT(domains, 1000u);
}

}  // namespace
