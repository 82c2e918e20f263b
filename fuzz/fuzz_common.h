// Shared helpers of the libFuzzer targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property the library promises on every input; a breach stops the run so
// libFuzzer keeps the input as a finding.
#define FUZZ_REQUIRE(Condition, What)                                 \
    do {                                                              \
        if (!(Condition)) {                                           \
            std::fprintf(stderr, "fuzz property broken: %s\n", What); \
            std::abort();                                             \
        }                                                             \
    } while (0)
