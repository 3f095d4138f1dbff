// Fuzz target for the C++ core (no Python): builds phase vectors whose fields
// may disagree with each other (a phase >= n, `dim` different from the array
// length, n outside 2..=65536) and runs every core operation on them.
//
// Every operation must either succeed on consistent input or report an
// error; an inconsistent operand must be reported as an internal error, never
// read or write outside an array (AddressSanitizer checks that part).
//
// Built two ways (tests/native/CMakeLists.txt, run by tools/corefuzz/run.sh):
//   * with clang's libFuzzer (-DVELMORA_FUZZER=ON: -fsanitize=fuzzer,address,undefined);
//   * without it (-DCORE_FUZZ_SEEDED_MAIN, any compiler with ASan): a seeded
//     driver that feeds pseudo-random inputs, `velmora_core_fuzz SEED COUNT`,
//     which CTest also runs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/phase_hvec.hpp"
#include "core/phase_resonator.hpp"

using namespace velmora;

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t take(unsigned bytes) {
        std::uint64_t v = 0;
        for (unsigned i = 0; i < bytes; ++i) v = (v << 8) | (pos_ < size_ ? data_[pos_++] : 0);
        return v;
    }
    bool empty() const { return pos_ >= size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

void fail(const char* what) {
    std::fprintf(stderr, "core_fuzz: %s\n", what);
    std::abort();
}

bool consistent(const PhaseHVec& v) {
    if (v.n < 2 || v.n > 65536 || v.phases.size() != v.dim) return false;
    for (std::uint16_t p : v.phases)
        if (p >= v.n) return false;
    return true;
}

// A vector of up to 16 phases, usually consistent, otherwise broken in one
// or more of its fields.
PhaseHVec make_vector(Input& in, std::uint64_t dim_hint, std::uint32_t n_hint) {
    const std::uint8_t mode = static_cast<std::uint8_t>(in.take(1));
    PhaseHVec v;
    const std::size_t length = (mode & 0x10) ? in.take(1) % 17 : dim_hint;
    v.n = (mode & 0x20) ? static_cast<std::uint32_t>(in.take(4)) : n_hint;
    v.phases.resize(length);
    for (auto& p : v.phases) {
        p = static_cast<std::uint16_t>(in.take(2));
        if (!(mode & 0x40) && v.n >= 2 && v.n <= 65536) p = static_cast<std::uint16_t>(p % v.n);
    }
    v.dim = length;
    switch (mode & 0x3) {
        case 1: v.dim = length + 1 + in.take(1); break;                     // longer than the array
        case 2: v.dim = length > 0 ? length - 1 : 0; break;                 // shorter
        case 3: if (mode & 0x80) v.dim = in.take(8); break;                 // anything, 2^63 included
        default: break;
    }
    return v;
}

template <class T>
void expect_internal_if(bool broken, const Result<T>& r, const char* op) {
    if (!broken) return;
    if (r.ok()) {
        std::fprintf(stderr, "core_fuzz: %s accepted an inconsistent operand\n", op);
        std::abort();
    }
}

void check_vector_result(const Result<PhaseHVec>& r, const char* op) {
    if (r.ok() && !consistent(r.value())) {
        std::fprintf(stderr, "core_fuzz: %s returned an inconsistent vector\n", op);
        std::abort();
    }
}

void run_one(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::uint64_t dim = in.take(1) % 17;
    std::uint32_t n = static_cast<std::uint32_t>(in.take(2)) + 1;  // 1..65536
    if (n < 2) n = 2;

    // Element-wise operations.
    PhaseHVec a = make_vector(in, dim, n);
    PhaseHVec b = make_vector(in, dim, n);
    const bool same = a.dim == b.dim && a.n == b.n;
    const bool broken = same && !(consistent(a) && consistent(b));
    auto rb = bind(a, b);
    expect_internal_if(broken, rb, "bind");
    check_vector_result(rb, "bind");
    auto ru = unbind(a, b);
    expect_internal_if(broken, ru, "unbind");
    check_vector_result(ru, "unbind");
    auto rs = similarity(a, b);
    expect_internal_if(broken, rs, "similarity");
    if (rs.ok() && !(rs.value() >= -1.0000000001 && rs.value() <= 1.0000000001)) fail("similarity out of range");
    if (!same && (rb.ok() || rb.error().kind != Error::Kind::Domain)) fail("incompatible bind not a domain error");

    // Generation (small sizes only; n may be anything).
    const std::uint32_t gn = static_cast<std::uint32_t>(in.take(4));
    auto g = generate(in.take(1) % 33, gn, in.take(8));
    if (gn < 2 || gn > 65536) {
        if (g.ok() || g.error().kind != Error::Kind::Internal) fail("generate accepted a bad n");
    } else {
        check_vector_result(g, "generate");
    }
    if (check_resolution(gn).ok() != (gn >= 2 && gn <= 65536)) fail("check_resolution");

    // Bundle.
    std::vector<PhaseHVec> items;
    const unsigned count = static_cast<unsigned>(in.take(1) % 5);
    for (unsigned i = 0; i < count; ++i) items.push_back(make_vector(in, dim, n));
    bool items_broken = false;
    for (const PhaseHVec& v : items)
        if (!consistent(v) || v.dim != items[0].dim || v.n != items[0].n) items_broken = true;
    auto rbundle = bundle(items);
    expect_internal_if(items_broken, rbundle, "bundle");
    if (items_broken && rbundle.error().kind != Error::Kind::Internal) fail("bundle: broken input not internal");
    check_vector_result(rbundle, "bundle");
    if (items.empty() && (rbundle.ok() || rbundle.error().kind != Error::Kind::Domain)) fail("empty bundle");

    // Resonator: the composite sets dim; entries may have other lengths and n.
    PhaseHVec composite = make_vector(in, dim, n);
    std::vector<Codebook> books(in.take(1) % 4);
    bool books_broken = !consistent(composite);
    for (Codebook& book : books) {
        book.resize(in.take(1) % 4);
        for (PhaseHVec& e : book) {
            e = make_vector(in, dim, static_cast<std::uint32_t>(2 + in.take(2) % 65535));
            if (!consistent(e) || e.dim != composite.dim) books_broken = true;
        }
    }
    ResonatorTrace trace;
    auto rr = resonator_factorize_traced(composite, books, in.take(1) % 8, {}, trace);
    expect_internal_if(books_broken, rr, "resonator_factorize");
    if (books_broken && rr.error().kind != Error::Kind::Internal) fail("resonator: broken input not internal");
    if (rr.ok()) {
        if (rr.value().size() != books.size()) fail("resonator: wrong result count");
        for (std::size_t f = 0; f < books.size(); ++f)
            if (!books[f].empty() && rr.value()[f].index >= books[f].size()) fail("resonator: index out of range");
    }
    for (std::uint32_t k = 0; k < 4; ++k) {
        const double angle = static_cast<double>(static_cast<std::int64_t>(in.take(8))) * 1e-15;
        if (angle_to_level(angle, n) >= n) fail("angle_to_level out of range");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    run_one(data, size);
    return 0;
}

#ifdef CORE_FUZZ_SEEDED_MAIN
int main(int argc, char** argv) {
    const std::uint64_t seed = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1;
    const std::uint64_t count = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 100000;
    std::uint64_t state = seed;
    std::vector<std::uint8_t> buffer;
    for (std::uint64_t i = 0; i < count; ++i) {
        buffer.resize(64 + (state >> 60) * 16);
        for (auto& byte : buffer) {  // splitmix64
            state += 0x9E3779B97F4A7C15ull;
            std::uint64_t z = state;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            byte = static_cast<std::uint8_t>(z ^ (z >> 31));
        }
        run_one(buffer.data(), buffer.size());
    }
    std::printf("core_fuzz: %llu seeded inputs from seed %llu, no failure\n",
                static_cast<unsigned long long>(count), static_cast<unsigned long long>(seed));
    return 0;
}
#endif
