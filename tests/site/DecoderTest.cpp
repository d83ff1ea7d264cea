// The decoder script: its key read back, nothing in it for --check to find, and (in node) sealed values put back into a page.
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Strong.h"

namespace {

// Keys whose hex uses every digit, and the two extremes.
std::vector<std::string> Keys() {
    std::vector<std::string> keys = {std::string(site::kStrongKeyBytes, '\0'), std::string(site::kStrongKeyBytes, '\xff')};
    std::string counting, mixed;
    for (size_t i = 0; i < site::kStrongKeyBytes; ++i) {
        counting.push_back(static_cast<char>(i * 8 + 1));
        mixed.push_back(static_cast<char>((i * 167 + 91) & 0xff));
    }
    keys.push_back(counting);
    keys.push_back(mixed);
    return keys;
}

TEST(Decoder, KeyReadsBackAndScriptHoldsNoAddress) {
    const std::vector<std::string> keys = Keys();
    for (const std::string& key : keys) {
        const std::string script = site::DecoderScript(key);
        std::string back;
        ASSERT_TRUE(site::KeyOfDecoder(script, &back));
        EXPECT_EQ(back, key);
        EXPECT_EQ(site::DecoderScript(key), script);
        EXPECT_EQ(script.find('@'), std::string::npos);
        std::string lowered = script;
        std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](unsigned char c) { return std::tolower(c); });
        for (const char* word : {"mailto", "innerhtml", "outerhtml", "document.write", "eval(", "function("}) {
            EXPECT_EQ(lowered.find(word), std::string::npos) << word;
        }
        // Small enough to cost a visitor nothing: about 1.7 KB with its key.
        EXPECT_LT(script.size(), 1792u);
    }
    // Two keys give scripts that differ in the key alone.
    const std::string a = site::DecoderScript(keys[0]), b = site::DecoderScript(keys[3]);
    ASSERT_EQ(a.size(), b.size());
    size_t first = 0;
    while (a[first] == b[first]) ++first;
    size_t last = a.size() - 1;
    while (a[last] == b[last]) --last;
    EXPECT_LE(last - first + 1, 2 * site::kStrongKeyBytes);
}

TEST(Decoder, NoKeyInOtherScripts) {
    const std::string script = site::DecoderScript(Keys()[3]);
    const std::string mark = "const key = \"";
    ASSERT_NE(script.find(mark), std::string::npos);
    const size_t at = script.find(mark) + mark.size();
    std::string key = "unchanged";
    for (const std::string& other : {
             std::string(),
             std::string("console.log('hello');\n"),
             script.substr(0, at + 40),                              // cut inside the hex
             script.substr(0, at) + std::string(64, 'g') + script.substr(at + 64),  // not hex
             script.substr(0, at) + "ABCDEF" + script.substr(at + 6),  // upper case, which the script never writes
             script.substr(0, at) + "00" + script.substr(at),          // 66 digits
             script.substr(0, at) + script.substr(at + 2),             // 62 digits
         }) {
        EXPECT_FALSE(site::KeyOfDecoder(other, &key)) << other.substr(0, 120);
        EXPECT_EQ(key, "unchanged");
    }
}

// A JSON string of UTF-8 text.
std::string Json(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Values the site library seals, as pages hold them: one long enough to go round the key more than once.
const std::vector<std::string> kValues = {
    "jane@example.org", "", "Zo\xc3\xab \xc3\x9cnal <zoe@ex\xc3\xa4mple.org> \xe2\x9c\x89 \xf0\x9d\x84\x9e",
    "href\0mailto:jane@example.org?subject=Hello%20there\0title\0Mail jane@example.org",
    "team@example.org, sales@example.net, press@example.org, info@example.org, boss@example.net"};

TEST(Decoder, OpensSealedValuesInNode) {
    char pattern[] = "/tmp/quorvane-decoder-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    for (const std::string& key : Keys()) {
        const std::string file = dir + "/" + site::kDecoderName;
        std::ofstream(file, std::ios::binary) << site::DecoderScript(key);
        std::string pairs = "[";
        for (const std::string& value : kValues) {
            pairs += (pairs.size() > 1 ? ",[" : "[") + Json(value) + "," + Json(site::Seal(value, key)) + "]";
        }
        std::ofstream(dir + "/sealed.json", std::ios::binary) << pairs << "]";
        std::string hex;
        for (const unsigned char c : key) hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
        const std::string command = std::string("'" QUORVANE_NODE "' '" QUORVANE_DECODER_CHECK "' '") + file + "' " + hex + " '" + dir + "/sealed.json' 2>&1";
        FILE* run = popen(command.c_str(), "r");
        ASSERT_NE(run, nullptr);
        std::string output;
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, run)) > 0;) output.append(buffer, n);
        const int status = pclose(run);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << "\n" << output;
        EXPECT_NE(output.find("decoder check: passed"), std::string::npos) << output;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
