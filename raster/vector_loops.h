// SPDX-License-Identifier: GPL-3.0-or-later
// Pixel loops that run on every presented frame, and the sample and transform loops that run
// on every block, are also built for AVX2; the dynamic loader picks the build that the
// processor runs. Either build gives the same bits: float arithmetic too, since each element
// gets the same IEEE operations at either width (contraction is off, so no fused
// multiply-add, and without fast-math the vectoriser never reorders a sum).
#pragma once

// ThreadSanitizer's runtime is not up yet when the loader runs the choosers (a crash at
// start), so its builds keep the baseline loops.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__)
#define QUILLO_VECTOR_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define QUILLO_VECTOR_LOOP
#endif
