#pragma once

#include <cstdio>
#include <cstdlib>

namespace pelkora::fuzz {

// A broken invariant: say which one and abort, so that libFuzzer keeps the
// input that broke it and prints the stack.
[[noreturn]] inline void fail(const char* invariant) {
    std::fprintf(stderr, "\nInvariant broken: %s\n", invariant);
    std::fflush(stderr);
    std::abort();
}

inline void check(bool holds, const char* invariant) {
    if (!holds) {
        fail(invariant);
    }
}

}  // namespace pelkora::fuzz
