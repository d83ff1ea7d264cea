// Precompressed twins: each packing this build has round-trips, a broken one and one that unpacks past its limit are refused.
#include <gtest/gtest.h>

#include <string>

#include "Packing.h"

namespace {

TEST(Packing, RoundTripsAndLimits) {
    const std::string page = "<meta charset=\"utf-8\"><p>Write to <a href=\"mailto:jane@example.org\">jane</a>\n";
    for (site::Packing packing : {site::Packing::kGzip, site::Packing::kBrotli, site::Packing::kZstd}) {
        SCOPED_TRACE(site::PackingName(packing));
        std::string packed, unpacked, problem;
        if (!site::CanUnpack(packing)) {
            EXPECT_FALSE(site::Unpack(packing, "x", 1 << 20, &unpacked, &problem));
            EXPECT_NE(problem.find("this build reads no"), std::string::npos);
            continue;
        }
        ASSERT_TRUE(site::Pack(packing, page, &packed, &problem)) << problem;
        EXPECT_NE(packed, page);
        ASSERT_TRUE(site::Unpack(packing, packed, 1 << 20, &unpacked, &problem)) << problem;
        EXPECT_EQ(unpacked, page);
        // Cut short, or with bytes after it, it is not whole.
        EXPECT_FALSE(site::Unpack(packing, packed.substr(0, packed.size() - 4), 1 << 20, &unpacked, &problem));
        // Four MiB of one letter pack into a few KB: unpacked within a 1 MiB limit, they are refused, not held.
        std::string big(4 << 20, 'a');
        ASSERT_TRUE(site::Pack(packing, big, &packed, &problem)) << problem;
        EXPECT_LT(packed.size(), size_t(64) << 10);
        EXPECT_FALSE(site::Unpack(packing, packed, 1 << 20, &unpacked, &problem));
        EXPECT_NE(problem.find("more than the limit"), std::string::npos) << problem;
        EXPECT_LE(unpacked.size(), size_t(1 << 20) + (64 << 10));
    }
    EXPECT_EQ(site::PackingOfFile("index.html.GZ"), site::Packing::kGzip);
    EXPECT_EQ(site::UnpackedName("search/index.json.zst"), "search/index.json");
    EXPECT_EQ(site::PackingOfFile("archive.tgz"), site::Packing::kNone);
}

}  // namespace
