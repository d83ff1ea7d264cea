// The strong form as one table of pages: read without the decoder no address nor "mailto:" is left, even with references and percent-escapes decoded; with it the page's tree is the original's; a second run changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SealedTree.h"
#include "Scan.h"
#include "Site.h"
#include "Strong.h"

namespace {

site::StrongSetting Setting(std::string fallbackUrl = "") {
    site::StrongSetting s;
    for (size_t i = 0; i < site::kStrongKeyBytes; ++i) s.key.push_back(static_cast<char>(i * 37 + 11));
    s.decoderUrl = "../quorvane-mail.js";
    s.fallbackText = site::kDefaultFallbackText;
    s.fallbackUrl = std::move(fallbackUrl);
    return s;
}

struct Row {
    const char* rule;
    std::string page;
    size_t anchors;  // mail links sealed (or, in a place no script can serve, written as references)
    size_t values;   // other values
    bool sealedAll;  // no reference written: a harvester that decodes them finds nothing either
    const char* listed = nullptr;  // part of the first reason listed
};

const std::string kHead = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>t</title></head><body>";

const std::vector<Row> kRows = {
    {"a mail link: its href sealed, its text kept", kHead + "<p>Write to <a href=\"mailto:x@y.org\" class=\"m\">me</a>.</p>", 1, 0, true},
    {"the address as the link's text", kHead + "<a href=\"mailto:x@y.org?subject=Hi%20you\">x@y.org</a>", 1, 1, true},
    {"already written as references, and percent-escaped",
     kHead + "<a href=\"&#109;&#97;ilto&#58;x&#64;y.org\">x&#x40;y.org</a> <a href=\"mailto:x%40y.org\">m</a>", 2, 1, true},
    {"text, attributes, an image's alt, a data attribute",
     kHead + "<p title=\"Mail x@y.org\">Mail x@y.org &amp; z@y.org today</p><img alt=\"x@y.org\" src=a.png data-mail=\"z@y.org\">",
     0, 3, true},
    {"a title, a textarea, an option: the value on the element itself",
     "<html><head><meta charset=utf-8><title>x@y.org</title></head><body><textarea>x@y.org</textarea>"
     "<select><option>x@y.org</option></select>",
     0, 3, true},
    {"noscript content, which only browsers without scripts read: the fallback alone",
     kHead + "<noscript><a href=\"mailto:x@y.org\" title=\"x@y.org\">x@y.org</a></noscript>", 1, 1, true},
    {"meta content and JSON-LD: no script can serve their readers, references",
     "<html><head><meta charset=utf-8><meta name=author content=\"x@y.org\"><script type=\"application/ld+json\">"
     "{\"email\": \"x@y.org\"}</script></head><body><p>x@y.org</p>",
     0, 3, false},
    {"SVG text takes references; an SVG link's href is sealed",
     kHead + "<svg><a href=\"mailto:x@y.org\"><text>x@y.org</text></a></svg>", 1, 1, false},
    {"a script's address stays, listed", kHead + "<script>var a = \"x@y.org\";</script><p>z@y.org</p>", 0, 1, false, "script"},
    {"no head: the decoder goes before the first sealed element", "<p>Mail <a href=\"mailto:x@y.org\">us</a></p>", 1, 0, true},
    {"a page in windows-1252: ASCII addresses sealed, a run with bytes above 127 left to references",
     "<meta charset=windows-1252><p>Caf\xE9 x@y.org</p><p>x@y.org</p>", 0, 2, false},
};

TEST(Strong, Table) {
    const site::StrongSetting setting = Setting();
    site::ProtectOptions options;
    options.form = site::Form::kStrong;
    options.strong = &setting;
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.rule);
        const site::ProtectResult result = site::ProtectPage(row.page, options);
        EXPECT_EQ(result.rewritten, row.anchors);
        EXPECT_EQ(result.values, row.values);
        if (row.listed == nullptr) {
            EXPECT_TRUE(result.listed.empty()) << result.listed[0].reason;
        } else {
            ASSERT_FALSE(result.listed.empty());
            EXPECT_NE(result.listed[0].reason.find(row.listed), std::string::npos) << result.listed[0].reason;
        }
        // A reader that decodes references and percent-escapes finds nothing where all was sealed.
        const std::string read = HarvesterReads(result.output);
        EXPECT_EQ(site::FindAddresses(read).empty() && site::FindMailto(read, 0) == std::string::npos, row.sealedAll) << read;
        // With the decoder the tree is the original's; without it, no link goes to a dead mailto:.
        EXPECT_EQ(TreeOf(result.output, &setting.key), TreeOf(row.page, nullptr, true)) << result.output;
        EXPECT_EQ(TreeOf(result.output, nullptr).find("href=\"mailto:"), std::string::npos);
        // The page refers to the decoder once, and a second run changes nothing.
        EXPECT_EQ(result.output.find("src=\"../quorvane-mail.js\" defer"), result.output.rfind("src=\"../quorvane-mail.js\" defer"));
        EXPECT_EQ(site::ProtectPage(result.output, options).output, result.output);
        // Every other byte stays: the replaced spans put back give the page.
        std::string back = result.output;
        for (auto it = result.replaced.rbegin(); it != result.replaced.rend(); ++it) {
            back.replace(it->outputOffset, it->outputLength, row.page, it->inputOffset, it->inputLength);
        }
        EXPECT_EQ(back, row.page);
    }
}

TEST(Strong, FallbackUrlAndAcceptedAddresses) {
    const site::StrongSetting setting = Setting("/contact/?a=1&b=2");
    const std::unordered_set<std::string> accepted = {"public@y.org"};
    site::ProtectOptions options;
    options.form = site::Form::kStrong;
    options.strong = &setting;
    options.accepted = &accepted;
    const std::string page = "<a href=\"mailto:x@y.org\">x@y.org</a><p>public@y.org</p>";
    const site::ProtectResult result = site::ProtectPage(page, options);
    EXPECT_NE(result.output.find("href=\"/contact/?a=1&amp;b=2\""), std::string::npos) << result.output;
    EXPECT_NE(result.output.find(">(e-mail address)</span>"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("<p>public@y.org</p>"), std::string::npos) << result.output;
    EXPECT_EQ(TreeOf(result.output, &setting.key), TreeOf(page, nullptr));
}

TEST(Strong, SealsRoundTrip) {
    const std::string key = Setting().key;
    for (const std::string value : {std::string(), std::string("x"), std::string("mailto:x@y.org"), std::string("\0a\xC3\xA9", 4),
                                    std::string(1000, '@')}) {
        const std::string sealed = site::Seal(value, key);
        std::string opened;
        ASSERT_TRUE(site::Unseal(sealed, key, &opened));
        EXPECT_EQ(opened, value);
        EXPECT_EQ(sealed.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"), std::string::npos);
        EXPECT_EQ(site::Seal(value, key), sealed);
    }
    std::string opened;
    EXPECT_FALSE(site::Unseal("a+b", key, &opened));
    EXPECT_FALSE(site::Unseal("", key, &opened));
}

}  // namespace
