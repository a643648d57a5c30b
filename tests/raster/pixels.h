// SPDX-License-Identifier: GPL-3.0-or-later
// Pixel helpers shared by the raster tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

#include "raster/surface.h"

using Pixel = std::pair<int, int>;  // column, row

inline uint16_t At(const FrameSurface& s, int x, int y) {
    return s.pixels[y * s.width + x];
}

// Every pixel of the surface that differs from zero.
inline std::set<Pixel> SetPixels(const FrameSurface& s) {
    std::set<Pixel> found;
    for (int i = 0; i < s.width * s.height; ++i) {
        if (s.pixels[i] != 0) found.insert({i % s.width, i / s.width});
    }
    return found;
}

inline void Fill(FrameSurface& s, uint16_t value) {
    std::fill(s.pixels, s.pixels + s.width * s.height, value);
}
