// Core (no Python) checks of inconsistent vectors and of errors formed with no
// memory left, run by CTest and by tests/robustness/test_core_native.py (under
// the sanitizers there). Each block prints one line "name: ok" or
// "name: FAIL ...", which that test reads case by case.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "core/phase_hvec.hpp"
#include "core/phase_resonator.hpp"
#include "core/phase_similarities.hpp"
#include "check.hpp"

using namespace velmora;
using velmora::native_test::report;

namespace {
bool refuse_allocations = false;
}  // namespace

// Every allocation fails while refuse_allocations is set, so a failure whose
// message cannot be built shows whether it still comes back as a value.
void* operator new(std::size_t size) {
    if (!refuse_allocations)
        if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {
// Runs `call` with allocations refused: its error must be OutOfMemory, and
// nothing may be thrown.
template <class Call>
void expect_out_of_memory(const char* name, Call&& call) {
    const char* failure = nullptr;
    refuse_allocations = true;
    try {
        auto r = call();
        if (r.ok() || r.error().kind != Error::Kind::OutOfMemory) failure = "not out of memory";
    } catch (...) {
        failure = "threw";
    }
    refuse_allocations = false;
    report(name, failure);
}

template <class T>
void expect_internal(const char* name, Result<T> r, const char* message_start) {
    if (r.ok()) {
        report(name, "accepted");
    } else if (r.error().kind != Error::Kind::Internal) {
        report(name, ("kind " + std::to_string(static_cast<int>(r.error().kind))).c_str());
    } else if (r.error().message.rfind(message_start, 0) != 0) {
        report(name, ("message '" + r.error().message + "'").c_str());
    } else {
        report(name, nullptr);
    }
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
    const PhaseHVec* highs[] = {&good, &high, &high};  // enough terms for the kernel path
    expect_internal("similarities phase>=n", similarities(good, highs), "index out of bounds: the len is 4 but the index is 9");

    // A first item whose dim claims far more than its array holds: reported
    // before anything is allocated from that dim.
    PhaseHVec lying = with_phases({0, 1}, 4);
    lying.dim = std::uint64_t{1} << 61;
    std::vector<PhaseHVec> items{lying};
    expect_internal("bundle lying dim", bundle(items), "index out of bounds: the len is 2 but the index is");
    items[0].dim = 3;
    expect_internal("bundle short array", bundle(items), "index out of bounds: the len is 2 but the index is 3");

    // Errors whose messages need memory, formed while there is none.
    PhaseHVec bad_n = good;
    bad_n.n = 1;
    const PhaseHVec longer = with_phases({1, 2, 3, 0}, 4);
    std::vector<PhaseHVec> mismatched{good, longer};
    const std::vector<Codebook> books{{good, with_phases({1}, 4)}};
    expect_out_of_memory("shape message", [&] { return check_shape(bad_n); });
    expect_out_of_memory("phase message", [&] { return check_consistent(high); });
    expect_out_of_memory("domain message", [&] { return check_compatible(good, longer); });
    expect_out_of_memory("capacity message", [&] { return generate(std::uint64_t{1} << 62, 4, 1); });
    expect_out_of_memory("bundle assertion", [&] { return bundle(mismatched); });
    expect_out_of_memory("entries message", [&] { return resonator_factorize(good, books, 0); });
    return native_test::finish();
}
