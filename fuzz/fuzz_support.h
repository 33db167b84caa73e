#pragma once
// Shared by the fuzz targets: trace output goes nowhere (it is still formatted), and a broken
// invariant aborts so that libFuzzer keeps the input.

#include <cstdio>
#include <cstdlib>

#include "base/print.h"

namespace shuttle::fuzz {

inline void silenceTrace() {
    static const bool silenced = [] {
        setTraceSink([](TraceStream, const std::string&) {});
        return true;
    }();
    (void)silenced;
}

inline void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

}  // namespace shuttle::fuzz
