// Core (no Python) checks of inconsistent vectors, built and run by
// test_core_native.py. Each block prints one line "name: ok" or "name: FAIL ...".
#include <cstdio>
#include <vector>

#include "core/phase_hvec.hpp"

using namespace velmora;

namespace {
int failures = 0;

template <class T>
void expect_internal(const char* name, Result<T> r, const char* message_start) {
    if (r.ok()) {
        std::printf("%s: FAIL accepted\n", name);
    } else if (r.error().kind != Error::Kind::Internal) {
        std::printf("%s: FAIL kind %d\n", name, static_cast<int>(r.error().kind));
    } else if (r.error().message.rfind(message_start, 0) != 0) {
        std::printf("%s: FAIL message '%s'\n", name, r.error().message.c_str());
    } else {
        std::printf("%s: ok\n", name);
        return;
    }
    ++failures;
}

PhaseHVec with_phases(std::vector<std::uint16_t> phases, std::uint32_t n) {
    PhaseHVec v;
    v.phases.assign(phases.begin(), phases.end());
    v.dim = phases.size();
    v.n = n;
    return v;
}
}  // namespace

int main() {
    const PhaseHVec good = with_phases({1, 2, 3}, 4);
    const PhaseHVec high = with_phases({1, 9, 3}, 4);  // a phase >= n
    expect_internal("bind phase>=n", bind(good, high), "index out of bounds: the len is 4 but the index is 9");
    expect_internal("unbind phase>=n", unbind(high, good), "index out of bounds: the len is 4 but the index is 9");
    expect_internal("similarity phase>=n", similarity(good, high), "index out of bounds");

    // A first item whose dim claims far more than its array holds: reported
    // before anything is allocated from that dim.
    PhaseHVec lying = with_phases({0, 1}, 4);
    lying.dim = std::uint64_t{1} << 61;
    std::vector<PhaseHVec> items{lying};
    expect_internal("bundle lying dim", bundle(items), "index out of bounds: the len is 2 but the index is");
    items[0].dim = 3;
    expect_internal("bundle short array", bundle(items), "index out of bounds: the len is 2 but the index is 3");
    return failures == 0 ? 0 : 1;
}
