#include "core/kernels_resonator.hpp"

#if defined(__x86_64__) || defined(__i386__)
#define VELMORA_X86 1
#define VELMORA_TARGET_AVX2 __attribute__((target("avx2,bmi2")))
#define VELMORA_TARGET_AVX512 __attribute__((target("avx2,bmi2,avx512f,avx512bw,avx512dq,avx512vl")))
#endif

namespace velmora {
namespace {

#define VELMORA_BODY static inline __attribute__((always_inline))

// A full block has a compile-time lane count so that the lane loops unroll
// into independent chains (the dependent add of one chain is the latency
// limit of a single dot product).
template <std::size_t L>
VELMORA_BODY void score_fixed(const EntryPhasors* entries, const double* __restrict ur,
                              const double* __restrict ui, std::size_t z, double* w) {
    double acc[L];
    const std::uint16_t* idx[L];
    const double* tab[L];
    for (std::size_t l = 0; l < L; ++l) {
        acc[l] = 0.0;
        idx[l] = entries[l].index;
        tab[l] = entries[l].table;
    }
    for (std::size_t j = 0; j < z; ++j) {
        const double r = ur[j], i = ui[j];
        for (std::size_t l = 0; l < L; ++l) {
            const double* p = tab[l] + 2 * std::size_t{idx[l][j]};
            acc[l] = acc[l] + ((p[0] * r) + (p[1] * i));
        }
    }
    for (std::size_t l = 0; l < L; ++l) w[l] = acc[l];
}

VELMORA_BODY void score_body(const EntryPhasors* entries, std::size_t count, const double* ur,
                             const double* ui, std::size_t z, double* w) {
    std::size_t l = 0;
    for (; l + kResonatorLanes <= count; l += kResonatorLanes)
        score_fixed<kResonatorLanes>(entries + l, ur, ui, z, w + l);
    for (; l + 2 <= count; l += 2) score_fixed<2>(entries + l, ur, ui, z, w + l);
    for (; l < count; ++l) score_fixed<1>(entries + l, ur, ui, z, w + l);
}

template <std::size_t L>
VELMORA_BODY void superpose_fixed(const EntryPhasors* entries, const double* w, double* __restrict x,
                                  double* __restrict y, std::size_t z) {
    const std::uint16_t* idx[L];
    const double* tab[L];
    double wl[L];
    for (std::size_t l = 0; l < L; ++l) {
        idx[l] = entries[l].index;
        tab[l] = entries[l].table;
        wl[l] = w[l];
    }
    for (std::size_t j = 0; j < z; ++j) {
        double xj = x[j], yj = y[j];
        for (std::size_t l = 0; l < L; ++l) {
            const double* p = tab[l] + 2 * std::size_t{idx[l][j]};
            xj = xj + (p[0] * wl[l]);
            yj = yj + (p[1] * wl[l]);
        }
        x[j] = xj;
        y[j] = yj;
    }
}

VELMORA_BODY void superpose_body(const EntryPhasors* entries, std::size_t count, const double* w, double* x,
                                 double* y, std::size_t z) {
    std::size_t l = 0;
    for (; l + kResonatorLanes <= count; l += kResonatorLanes)
        superpose_fixed<kResonatorLanes>(entries + l, w + l, x, y, z);
    for (; l + 2 <= count; l += 2) superpose_fixed<2>(entries + l, w + l, x, y, z);
    for (; l < count; ++l) superpose_fixed<1>(entries + l, w + l, x, y, z);
}

#define VELMORA_VARIANT(suffix, target)                                                                       \
    target void score_##suffix(const EntryPhasors* e, std::size_t count, const double* ur, const double* ui, \
                               std::size_t z, double* w) {                                                    \
        score_body(e, count, ur, ui, z, w);                                                                   \
    }                                                                                                         \
    target void superpose_##suffix(const EntryPhasors* e, std::size_t count, const double* w, double* x,     \
                                   double* y, std::size_t z) {                                                \
        superpose_body(e, count, w, x, y, z);                                                                 \
    }                                                                                                         \
    constexpr ResonatorKernels kernels_##suffix{score_##suffix, superpose_##suffix};

VELMORA_VARIANT(baseline, )
#if VELMORA_X86
VELMORA_VARIANT(avx2, VELMORA_TARGET_AVX2)
VELMORA_VARIANT(avx512, VELMORA_TARGET_AVX512)
#endif

}  // namespace

const ResonatorKernels& resonator_kernels(Isa isa) {
#if VELMORA_X86
    if (isa == Isa::Avx512) return kernels_avx512;
    if (isa == Isa::Avx2) return kernels_avx2;
#endif
    (void)isa;
    return kernels_baseline;
}

const ResonatorKernels& resonator_kernels() {
    static const ResonatorKernels& chosen = resonator_kernels(best_isa());
    return chosen;
}

}  // namespace velmora
