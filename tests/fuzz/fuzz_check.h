#pragma once

#include <cstdio>
#include <cstdlib>

namespace fwu::fuzz {

// A property every input must keep; a broken one ends the run so that the fuzzer keeps the
// input that broke it.
inline void check(bool holds, const char* property) {
    if (holds)
        return;
    std::fprintf(stderr, "Property broken: %s\n", property);
    std::abort();
}

}  // namespace fwu::fuzz
