// The similarity of one vector to each of many: the recall step of a
// vector-symbolic memory, where a noisy query is compared with every stored
// vector to find the nearest.
//
// Contract: element k of similarities(a, items) is exactly
// similarity(a, *items[k]), bit for bit, for every input (dim 0 included):
// each item's sum runs strictly in component order, as in similarity; only
// different items' sums run side by side (simd/similarity.hpp).
//
// Errors, in this order: the first item, in list order, that is not
// compatible with `a` gives the error similarity gives for it (the domain
// error for another dim or n, an internal error for a broken shape); then a
// phase >= n in `a` or any item is an internal error. An empty list gives an
// empty result without looking at `a`.
//
// Items are read in place, through pointers the caller keeps alive. Extra
// memory: the result, one row pointer per item, and the difference cosine
// table of the resolution (phase_tables.hpp), filled whole when the call has
// at least as many terms as the table has entries.
#pragma once

#include <span>
#include <vector>

#include "core/phase_hvec.hpp"

namespace velmora {

Result<std::vector<double>> similarities(const PhaseHVec& a, std::span<const PhaseHVec* const> items);

}  // namespace velmora
