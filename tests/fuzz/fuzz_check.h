#pragma once

#include <cstdio>
#include <cstdlib>

// A property every input must keep; a broken one ends the run, so the fuzzer keeps the input.
inline void check(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "Property broken: %s\n", property);
        std::abort();
    }
}
