// The native tests' check harness: each check is counted, a failure is
// printed with what was checked, and the program ends with one line
// "N passed, M failed" and a non-zero status if anything failed, which is
// all CTest looks at. Nothing here allocates, so a program that refuses
// allocations (core_regressions.cpp) can report through it too.
#pragma once
#include <cstdio>
#include <string>

namespace velmora::native_test {

inline int passed = 0, failed = 0;

// Counts one check; prints the first 20 failures only, so that one broken
// kernel does not bury the rest of the output.
inline void check(bool ok, const char* what) {
    if (ok) {
        ++passed;
    } else if (++failed <= 20) {
        std::printf("FAILED: %s\n", what);
    }
}
inline void check(bool ok, const std::string& what) { check(ok, what.c_str()); }

// One named case on a line of its own, "NAME: ok" or "NAME: FAIL WHY"
// (a null WHY: it passed), for callers that read the cases by name.
inline void report(const char* name, const char* why) {
    if (why == nullptr) {
        ++passed;
        std::printf("%s: ok\n", name);
    } else {
        ++failed;
        std::printf("%s: FAIL %s\n", name, why);
    }
}

inline int finish() {
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

}  // namespace velmora::native_test
