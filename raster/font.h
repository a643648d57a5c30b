// SPDX-License-Identifier: GPL-3.0-or-later
// The 7 x 7 bitmap font: 57 glyphs held as row strings, a 256-entry character map, and
// text drawn pixel by pixel onto the surfaces with a pen code.
#pragma once

#include <cstdint>

#include "raster/surface.h"

constexpr int kGlyphCount = 57;
constexpr int kGlyphSize = 7;     // rows and columns of a glyph
constexpr int kGlyphAdvance = 8;  // columns from one character to the next
constexpr int kLineAdvance = 9;   // rows from one text line to the next
constexpr int kBlankGlyph = 44;   // the space, and every byte without a glyph of its own

// Fills the glyph table and the character map; once at start-up, before any text.
void InitFont();

// Draws `text` with its first glyph's top-left pixel at view column x, surface row y.
void DrawText(PenCode pen, const char* text, int x, int y);

// Surface-level worker: x is a surface column; only the glyphs' set pixels are written.
void DrawGlyphString(FrameSurface* surface, const char* text, int x, int y, uint16_t colour);
