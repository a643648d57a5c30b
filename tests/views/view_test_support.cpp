// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/views/view_test_support.h"

#include <algorithm>
#include <cstring>

#include "raster/font.h"
#include "views/level_tables.h"
#include "views/view_state.h"

void ResetDrawingState() {
    ResetSurfaces();
    SetViewArea(0, 26, 240, 268);
    InitFont();
    SetPenColour(kPenSettable, 255, 255, 0);
    BuildColourMap(256, 0.3f, 0.2f, 0.2f);
    ResetViewState();
}

std::vector<uint16_t> Region(const FrameSurface& surface, int x, int y, int width, int height) {
    std::vector<uint16_t> out;
    for (int r = y; r < y + height; r++) {
        for (int c = x; c < x + width; c++)
            out.push_back(PixelAt(surface, c, r));
    }
    return out;
}

std::vector<uint16_t> DrawnAlone(FrameSurface& surface, int x, int y, int width, int height,
                                 const std::function<void()>& draw) {
    std::vector<uint16_t> saved(surface.pixels, surface.pixels + kSurfacePixels);
    std::fill_n(surface.pixels, kSurfacePixels, uint16_t(0));
    draw();
    std::vector<uint16_t> out = Region(surface, x, y, width, height);
    std::memcpy(surface.pixels, saved.data(), saved.size() * sizeof(uint16_t));
    return out;
}

int CountColour(const FrameSurface& surface, int x, int y, int width, int height, uint16_t colour) {
    int n = 0;
    for (int r = y; r < y + height; r++) {
        for (int c = x; c < x + width; c++)
            n += PixelAt(surface, c, r) == colour;
    }
    return n;
}

bool AnyPixelSet(const FrameSurface& surface, int x, int y, int width, int height) {
    for (int r = y; r < y + height; r++) {
        for (int c = x; c < x + width; c++) {
            if (PixelAt(surface, c, r) != 0) return true;
        }
    }
    return false;
}
