// SPDX-License-Identifier: GPL-3.0-or-later
// Pixel loops that run on every presented frame, and sample loops that run on every block,
// are also built for AVX2; the dynamic loader picks the build that the processor runs.
// Integer work and float comparisons (no float arithmetic) have one result either way.
#pragma once

// ThreadSanitizer's runtime is not up yet when the loader runs the choosers (a crash at
// start), so its builds keep the baseline loops.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__)
#define QUILLO_VECTOR_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define QUILLO_VECTOR_LOOP
#endif
