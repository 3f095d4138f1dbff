// Compiling one source for several instruction sets.
//
// A target's file (targets/<name>.cpp) includes what it needs first, then
// opens VELMORA_TARGET_BEGIN("<the compiler's target string>"), its
// namespace velmora::<name>, and includes the generic bodies there: every
// function defined inside the region is compiled for that target, under its
// own name. Headers are never included inside a region, so no inline
// library function gets a target's instructions and stands in for the
// plain copy at link time.
//
// Per-function targets need GCC, Clang or clang-cl. Plain MSVC has none,
// and compiling a target's file with /arch would let its inline library
// functions replace the baseline copies, so such builds (and
// VELMORA_PLAIN_CXX ones) leave the x86 targets out and run the baseline
// everywhere. VELMORA_X86_TARGETS guards those targets' files and rows.
#pragma once

#include "core/base/portable.hpp"

#if VELMORA_X86 && VELMORA_EXTENSIONS
#define VELMORA_X86_TARGETS 1
#else
#define VELMORA_X86_TARGETS 0
#endif

#define VELMORA_PRAGMA(tokens) _Pragma(#tokens)
#if defined(__clang__)
#define VELMORA_TARGET_BEGIN(isa) \
    VELMORA_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define VELMORA_TARGET_END VELMORA_PRAGMA(clang attribute pop)
#elif defined(__GNUC__)
#define VELMORA_TARGET_BEGIN(isa) VELMORA_PRAGMA(GCC push_options) VELMORA_PRAGMA(GCC target(isa))
#define VELMORA_TARGET_END VELMORA_PRAGMA(GCC pop_options)
#else
#define VELMORA_TARGET_BEGIN(isa)
#define VELMORA_TARGET_END
#endif
