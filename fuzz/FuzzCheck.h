#pragma once

#include <cstdio>
#include <cstdlib>

// A property the target asserts: when it does not hold, the input is a fault, reported
// like a crash so that libFuzzer keeps it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__,        \
                         #condition);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
