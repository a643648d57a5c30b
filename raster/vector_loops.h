// Pixel loops that run on every presented frame are also built for AVX2; the dynamic loader
// picks the build that the processor runs. Integer pixel work has one result either way.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define QUILLO_VECTOR_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define QUILLO_VECTOR_LOOP
#endif
