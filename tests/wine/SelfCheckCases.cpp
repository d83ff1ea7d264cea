// Cases of group "selfcheck": deliberately failing and skipped cases that show the framework counts and reports right.
#include "Bench.h"

namespace {
int afterStop = 0;
}

BENCH_CASE(selfcheck, passes) {
    EXPECT_EQ(4, 2 + 2);
    CHECK(true);
}

BENCH_CASE(selfcheck, expect_goes_on_after_a_failure) {
    bench::Where where("row 7");
    EXPECT_EQ(2, 1 + 2);
    EXPECT_EQ(std::string("a\r\nb"), std::string("a\nb"));
}

BENCH_CASE(selfcheck, check_ends_the_case) {
    CHECK_EQ((RECT{1, 2, 3, 4}), (RECT{1, 2, 3, 5}));
    ++afterStop;
    EXPECT_MSG(false, "reached the line after a failed CHECK");
}

BENCH_CASE(selfcheck, skip_gives_its_reason) {
    SKIP("a reason worth printing");
    EXPECT_MSG(false, "reached the line after SKIP");
}

BENCH_CASE(selfcheck, nothing_ran_after_stop_or_skip) {
    EXPECT_EQ(0, afterStop);
}
