// What the fuzz targets share: a failed property stops the run with a message, and libFuzzer keeps the input.
#ifndef QUORVANE_FUZZ_H
#define QUORVANE_FUZZ_H

#include <cstdio>
#include <cstdlib>

// abort() is what libFuzzer reports as a crash, saving the input that caused it.
#define FUZZ_REQUIRE(condition, ...)                                        \
    do {                                                                    \
        if (!(condition)) {                                                 \
            std::fprintf(stderr, "property failed: %s: ", #condition);     \
            std::fprintf(stderr, __VA_ARGS__);                              \
            std::fputc('\n', stderr);                                       \
            std::abort();                                                   \
        }                                                                   \
    } while (0)

#endif
