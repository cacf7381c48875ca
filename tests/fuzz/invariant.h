// The fuzz targets' one way to fail: a broken invariant is named on standard error and the run stops there,
// so libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>

inline void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant violated: %s\n", what);
    __builtin_trap();
}
