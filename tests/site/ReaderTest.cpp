// The page reader against gumbo's tokenizer, as its tree builder drives it: a table of the tokenizer's corners, each page's tokens the same in both; and the references decoded as the standard says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CharacterReferences.h"
#include "TokenOracle.h"

namespace {

std::string Decode(const std::string& raw, site::ReferenceContext context) {
    std::string out;
    site::DecodeReferences(raw, context, &out);
    return out;
}

TEST(Reader, ReferencesDecodeAsTheStandardSays) {
    using site::ReferenceContext;
    const struct {
        const char* raw;
        const char* text;       // as text reads it
        const char* attribute;  // as an attribute value reads it
    } kRows[] = {
        {"&#64;&#x40;&#X40;&#064", "@@@@", "@@@@"},
        {"&#0;&#xD800;&#x110000;&#99999999999999999999;", "\uFFFD\uFFFD\uFFFD\uFFFD", "\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"&#x80;&#150;&#x81;", "\u20AC\u2013\u0081", "\u20AC\u2013\u0081"},
        {"&#;&#x;&#xG&#", "&#;&#x;&#xG&#", "&#;&#x;&#xG&#"},
        {"&amp;&AMP;&lt&gt;", "&&<>", "&&<>"},
        {"&notin;&notit;&not", "\u2209\u00ACit;\u00AC", "\u2209&notit;\u00AC"},
        {"?a=1&copy=2&copy;&copyx", "?a=1\u00A9=2\u00A9\u00A9x", "?a=1&copy=2\u00A9&copyx"},
        {"&NotNestedGreaterGreater;&nbsp&nbspx", "\u2AA2\u0338\u00A0\u00A0x", "\u2AA2\u0338\u00A0&nbspx"},
        {"&unknown; & &;", "&unknown; & &;", "&unknown; & &;"},
        {"&CounterClockwiseContourIntegral;", "\u2233", "\u2233"},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.raw);
        EXPECT_EQ(Decode(row.raw, ReferenceContext::kText), row.text);
        EXPECT_EQ(Decode(row.raw, ReferenceContext::kAttribute), row.attribute);
    }
}

// The corners of the tokenizer and of the feedback the reader models; each is read as gumbo reads it.
const char* const kPages[] = {
    "<p class=a CLASS=b title='x&amp;y' data-x=\"&lt;&#64;&copy=1\" data-y=a&b;c>t&eacute;xt &notit; &#x40;</p>",
    "<title>a &amp; <b>b</b></title><textarea>&lt;/textarea&gt;</textarea><p>after",
    "<style>a &amp; </style ><p>&amp;</p><xmp>&amp;<b></xmp><iframe>&lt;</iframe><noembed>&gt;</noembed>",
    "<noframes><p>x</noframes><plaintext>&amp; <b> </plaintext>",
    "<script>if (a<b) document.write('</scr'+'ipt>'); <!-- <script> </script> --> x</script>y",
    "<script><!--<script></script>--></script><p>&amp;",
    "<noscript><a href=\"mailto:x@y.org\">x&amp;y</a></noscript><p>z",
    "<head><noscript><link rel=stylesheet href=a.css></noscript></head><body>",
    "<svg><title>&amp;<b>x</b></title><![CDATA[ <p>&amp; ]]><desc><p>y</p></desc></svg>",
    "<math><mi><b>x</b></mi><annotation-xml encoding=\"text/html\"><p>&lt;</p></annotation-xml></math>",
    "<svg><style>&amp;<b></b></style><script>&lt;</script></svg><style>&amp;</style>",
    "<!DOCTYPE html><!-- a -- b --!><!-->x<!--->y<?php x ?></p><p></3><!x>",
    "<!-- a ---><!--b----!><p>x</p><!-- c <!--",
    "<a href=\"x\r\ny\"\r\n>\r\nline\rline\0nul</a><textarea>\0</textarea>",
    "<p =a a=\"b\"c d/ e/>f<br/ ><p a='<' b=\">\">&#128;&#x9F;",
    "<table><tr><td>x</table><select><option>&amp;<script>s</script></select>",
    "<p>\xFF\xFE bytes \xC3 \xE2\x82</p>",
};

TEST(Reader, TokensAsGumboReadsThem) {
    for (const char* page : kPages) {
        SCOPED_TRACE(page);
        const auto [stream, gumbo] = OracleListings(page);
        EXPECT_EQ(stream, gumbo);
        EXPECT_NE(stream.find(" "), std::string::npos);
    }
}

}  // namespace
