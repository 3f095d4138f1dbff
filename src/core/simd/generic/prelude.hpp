// Everything the generic bodies (generic/*.hpp) use, included by each
// target's file before its target region opens.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/base/portable.hpp"
#include "core/math/atan2_estimate.hpp"
#include "core/math/lattice.hpp"
#include "core/math/remainder.hpp"
#include "core/math/rounding.hpp"
#include "core/simd/bundle.hpp"
#include "core/simd/elementwise.hpp"
#include "core/simd/lattice.hpp"
#include "core/simd/resonator.hpp"
#include "core/simd/similarity.hpp"
