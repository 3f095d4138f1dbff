// Per-resolution trigonometric tables, shared by similarity, bundle and the
// resonator, and kept in a small cache between calls.
//
// Every entry is computed with exactly the expression the plain loops use,
// (double(k) * kFullTurn) / double(n) fed to the correctly rounded cos or sin
// (math/correctly_rounded.hpp), so a lookup returns the same bits as the call it
// replaces: the cache changes speed, never results.
//
// Memory: for a resolution n the phasor table holds 2n doubles (16n bytes),
// the difference memo 2n - 1 doubles (16n bytes), the bundle table 2n int16
// and the bundle memo n 32-bit words (4n bytes each): at most 40 * 65536
// bytes = 2.5 MiB per resolution. Each kind keeps the tables of its
// kTableCacheSlots most recently used resolutions between calls, at most
// 4 * 2.5 MiB = 10 MiB; a thread building a new table briefly holds one
// more, and an evicted table lives on while a running call still holds it.
// Callers hold a shared_ptr for the duration of a call, so an eviction never
// frees a table in use.
//
// Thread-safe, for interpreters that run calls side by side. Each kind's
// slots are guarded by a mutex held only to look a resolution up or to
// insert a finished table, never while one is computed: two threads missing
// the same resolution both build it and the later insert keeps the earlier
// one, so they differ only in work, never in bits. Tables are immutable once
// published. The memos are written while shared, one self-contained word
// per entry through relaxed atomic loads and stores: every writer stores the
// same bits, so a reader sees either "unfilled" or the one right value.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace velmora {

inline constexpr std::size_t kTableCacheSlots = 4;

template <class T>
using SharedTable = std::shared_ptr<const std::vector<T>>;

// 2n doubles: [2k] = cos((k * 2pi) / n), [2k + 1] = sin((k * 2pi) / n), k in [0, n).
SharedTable<double> phasor_table(std::uint32_t n);

// 2n - 1 doubles, [d + n - 1] for the phase difference d in [-(n-1), n-1],
// filled on first use: NaN until then, afterwards difference_cosine(n, d + n - 1).
// Filling lazily lets a short vector at a large n pay only for the cosines
// it meets (cos never returns NaN for a finite angle). Other threads may read
// and fill the same memo: use relaxed loads and stores.
using DifferenceMemo = std::vector<std::atomic<double>>;
std::shared_ptr<DifferenceMemo> difference_cosine_memo(std::uint32_t n);
// cos((double(d) * 2pi) / n) for d = k - (n - 1), the term similarity sums.
double difference_cosine(std::uint32_t n, std::uint32_t k);

// 2n int16: [2k] = round-half-away(cos((k * 2pi) / n) * 16384), [2k + 1] the
// same with sin; the bundle fold's fixed-point phasors. They lie in
// [-16384, 16384], so 16 bits hold them and the table stays small enough to
// stay in cache while items stream past it.
SharedTable<std::int16_t> bundle_phasor_table(std::uint32_t n);
// That table if the cache holds it, else nullptr (nothing is built).
SharedTable<std::int16_t> cached_bundle_phasor_table(std::uint32_t n);
// The same n entry pairs, filled on first use, each pair packed into one
// word (cos in the low half, sin in the high half) so that a reader never
// sees one half filled and the other not: kUnfilledPhasor in both halves
// until then. Bundle reads it where a few phasors meet a large resolution,
// so repeated calls pay for each phasor once without building the whole
// table. Read it through memo_bundle_phasor.
inline constexpr std::int16_t kUnfilledPhasor = -32768;  // outside [-16384, 16384]
using PhasorMemo = std::vector<std::atomic<std::uint32_t>>;
std::shared_ptr<PhasorMemo> bundle_phasor_memo(std::uint32_t n);
// One entry pair of that table, {cos, sin}, computed on its own.
std::array<std::int16_t, 2> bundle_phasor(std::uint32_t n, std::uint32_t k);
// The pair of phase k from the memo, computed and stored there on first use.
std::array<std::int16_t, 2> memo_bundle_phasor(PhasorMemo& memo, std::uint32_t n, std::uint32_t k);

// Drops every cached table (tests use it to show that results do not depend
// on what is cached). Calls running meanwhile keep the tables they hold.
void clear_table_cache();

}  // namespace velmora
