// The plain scalar order of operations of every fast kernel, kept as the
// reference the kernels are checked against bit for bit. Deliberately naive:
// one call of the correctly rounded function where the operation names one
// (the baseline copy, whichever copy the module dispatches to), `%` where it
// says "mod".
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/math/correctly_rounded.hpp"

namespace reference {

using Phases = std::vector<std::uint16_t>;
inline constexpr double kFullTurn = 6.283185307179586;

inline const velmora::CorrectlyRounded& plain() { return velmora::correctly_rounded_baseline(); }
inline double cos(double x) { return plain().cos(x); }
inline double sin(double x) { return plain().sin(x); }
inline double atan2(double y, double x) { return plain().atan2(y, x); }

inline Phases power_int(const Phases& a, std::uint32_t e, std::uint32_t n) {
    Phases r(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) r[i] = static_cast<std::uint16_t>(std::uint64_t{a[i]} * e % n);
    return r;
}

// Signed phase times x, std::round (halves away from zero), saturated, mod n.
inline Phases power_real(const Phases& a, double x, std::uint32_t n) {
    Phases r(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::int64_t s = 2 * std::uint32_t{a[i]} <= n ? a[i] : std::int64_t{a[i]} - n;
        const double p = std::round(static_cast<double>(s) * x);
        const std::int64_t t = p >= 9223372036854775808.0 ? std::numeric_limits<std::int64_t>::max()
                               : p < -9223372036854775808.0 ? std::numeric_limits<std::int64_t>::min()
                                                            : static_cast<std::int64_t>(p);
        const std::int64_t m = t % std::int64_t{n};
        r[i] = static_cast<std::uint16_t>(m < 0 ? m + n : m);
    }
    return r;
}

inline Phases lookup(const Phases& a, const Phases& table) {
    Phases r;
    for (std::uint16_t k : a) r.push_back(table[k]);
    return r;
}

inline Phases bind(const Phases& a, const Phases& b, std::uint32_t n) {
    Phases r(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) r[i] = static_cast<std::uint16_t>((std::uint32_t{a[i]} + b[i]) % n);
    return r;
}

inline Phases unbind(const Phases& a, const Phases& b, std::uint32_t n) {
    Phases r(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) r[i] = static_cast<std::uint16_t>((n - b[i] + a[i]) % n);
    return r;
}

inline std::uint64_t word(std::uint64_t seed, std::uint64_t i) {
    std::uint64_t x = (seed * 0xC2B2AE3D27D4EB4Full) ^ (i * 0x9E3779B97F4A7C15ull);
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    return x ^ (x >> 32);
}

inline Phases generate(std::uint64_t dim, std::uint32_t n, std::uint64_t seed) {
    Phases r(dim);
    for (std::uint64_t i = 0; i < dim; ++i) r[i] = static_cast<std::uint16_t>(word(seed, i) % n);
    return r;
}

inline double similarity(const Phases& a, const Phases& b, std::uint32_t n) {
    if (a.empty()) return 1.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += reference::cos((static_cast<double>(a[i]) - static_cast<double>(b[i])) * kFullTurn / static_cast<double>(n));
    return sum / static_cast<double>(a.size());
}

inline std::int64_t saturate(double r) {
    if (std::isnan(r)) return 0;
    if (r >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
    if (r < -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(r);
}

inline std::uint32_t level(double a, std::uint32_t n) {
    std::int64_t q = saturate(std::round((a / kFullTurn) * static_cast<double>(n))) % static_cast<std::int64_t>(n);
    if (q < 0) q += n;
    return static_cast<std::uint32_t>(q);
}

inline Phases bundle(const std::vector<Phases>& items, std::uint32_t n) {
    const std::size_t dim = items[0].size();
    std::vector<std::int64_t> ct(n), st(n), cs(dim), ss(dim);
    for (std::uint32_t k = 0; k < n; ++k) ct[k] = saturate(std::round(reference::cos((k * kFullTurn) / n) * 16384.0));
    for (std::uint32_t k = 0; k < n; ++k) st[k] = saturate(std::round(reference::sin((k * kFullTurn) / n) * 16384.0));
    for (const Phases& item : items)
        for (std::size_t i = 0; i < dim; ++i) {
            cs[i] += ct[item[i]];
            ss[i] += st[item[i]];
        }
    Phases r(dim);
    for (std::size_t i = 0; i < dim; ++i)
        r[i] = static_cast<std::uint16_t>(level(reference::atan2(static_cast<double>(ss[i]), static_cast<double>(cs[i])), n));
    return r;
}

struct Vec {
    Phases p;
    std::uint32_t n;
};
struct Phasor {
    std::vector<double> re, im;
};

inline Phasor phasor(const Vec& v) {
    Phasor o{std::vector<double>(v.p.size()), std::vector<double>(v.p.size())};
    for (std::size_t j = 0; j < v.p.size(); ++j) {
        const double t = (static_cast<double>(v.p[j]) * kFullTurn) / static_cast<double>(v.n);
        o.re[j] = reference::cos(t);
        o.im[j] = reference::sin(t);
    }
    return o;
}

inline double dot(const Phasor& e, const Phasor& s) {
    double sum = 0.0;
    for (std::size_t j = 0; j < e.re.size(); ++j) sum += (e.re[j] * s.re[j]) + (e.im[j] * s.im[j]);
    return sum;
}

struct Match {
    std::uint64_t index;
    double similarity;
};

// The resonator exactly as its plain loops read; entries of length z only.
inline std::vector<Match> resonator(const Vec& composite, const std::vector<std::vector<Vec>>& books,
                                    std::uint64_t max_iter) {
    const std::size_t z = composite.p.size();
    const std::uint32_t n = composite.n;
    const Phasor c = phasor(composite);
    std::vector<std::vector<Phasor>> tables;
    for (const auto& book : books) {
        auto& t = tables.emplace_back();
        for (const Vec& e : book) t.push_back(phasor(e));
    }
    auto snap = [&](const std::vector<double>& x, const std::vector<double>& y) {
        Phasor o{std::vector<double>(z), std::vector<double>(z)};
        for (std::size_t j = 0; j < z; ++j) {
            const std::uint32_t q = level(reference::atan2(y[j], x[j]), n);
            const double t = (static_cast<double>(q) * kFullTurn) / static_cast<double>(n);
            o.re[j] = reference::cos(t);
            o.im[j] = reference::sin(t);
        }
        return o;
    };
    std::vector<Phasor> est;
    for (const auto& t : tables) {
        std::vector<double> x(z, 0.0), y(z, 0.0);
        for (const Phasor& e : t)
            for (std::size_t j = 0; j < z; ++j) {
                x[j] = x[j] + e.re[j];
                y[j] = y[j] + e.im[j];
            }
        est.push_back(snap(x, y));
    }
    auto best = [&](std::size_t f) -> Match {
        if (tables[f].empty()) return {0, 0.0};
        const double d = z > 0 ? static_cast<double>(z) : 1.0;
        Match m{0, dot(tables[f][0], est[f]) / d};
        for (std::size_t i = 1; i < tables[f].size(); ++i) {
            const double s = dot(tables[f][i], est[f]) / d;
            if (!(m.similarity > s)) m = {i, s};
        }
        return m;
    };
    std::vector<std::uint64_t> prev(tables.size(), ~std::uint64_t{0}), cur(tables.size());
    int stable = 0;
    for (std::uint64_t sweep = 0; sweep < max_iter; ++sweep) {
        for (std::size_t f = 0; f < tables.size(); ++f) {
            Phasor u = c;
            for (std::size_t g = 0; g < tables.size(); ++g) {
                if (g == f) continue;
                for (std::size_t j = 0; j < z; ++j) {
                    const double r = u.re[j], i = u.im[j], cc = est[g].re[j], s = est[g].im[j];
                    u.re[j] = (cc * r) + (s * i);
                    u.im[j] = (i * cc) - (r * s);
                }
            }
            std::vector<double> x(z, 0.0), y(z, 0.0);
            for (const Phasor& e : tables[f]) {
                const double w = dot(e, u);
                for (std::size_t j = 0; j < z; ++j) {
                    x[j] = x[j] + (e.re[j] * w);
                    y[j] = y[j] + (e.im[j] * w);
                }
            }
            est[f] = snap(x, y);
        }
        for (std::size_t f = 0; f < tables.size(); ++f) cur[f] = best(f).index;
        if (cur == prev) {
            if (stable > 1) break;
            ++stable;
        } else {
            stable = 0;
        }
        prev.swap(cur);
    }
    std::vector<Match> out;
    for (std::size_t f = 0; f < tables.size(); ++f) out.push_back(best(f));
    return out;
}

}  // namespace reference
