// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the view tests: a clean drawing state and looks at surface regions.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "raster/surface.h"
#include "views/view_state.h"

// Zeroes the canvas, overlay and fade rhythm, sets the 240 x 268 view area, builds the font,
// the colour map and the pen colours of start-up, and gives the view state its initial
// values. Level table and column map are left to the test.
void ResetDrawingState();

// Pixels of a rectangle of a surface, row by row.
std::vector<uint16_t> Region(const FrameSurface& surface, int x, int y, int width, int height);

// What `draw` alone puts into a rectangle of `surface`: the surface is saved, cleared,
// drawn on, read and restored. Tests draw the expected picture with the raster primitives
// at positions worked out by hand and compare it with what a view operation drew.
std::vector<uint16_t> DrawnAlone(FrameSurface& surface, int x, int y, int width, int height,
                                 const std::function<void()>& draw);

// Number of pixels of `colour` in a rectangle.
int CountColour(const FrameSurface& surface, int x, int y, int width, int height, uint16_t colour);

// Whether any pixel of a rectangle is non-zero.
bool AnyPixelSet(const FrameSurface& surface, int x, int y, int width, int height);

inline uint16_t PixelAt(const FrameSurface& surface, int x, int y) {
    return surface.pixels[y * surface.width + x];
}
