// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrogram view: the strip drawn per block.
#include "views/colour_columns.h"

#include <cstdint>

#include "raster/surface.h"
#include "views/axes.h"
#include "views/level_tables.h"
#include "views/view_state.h"

void DrawSpectrogramStrip(const float* columnValues, float* smoothedLevels) {
    const float a = ViewState.averagingFactor;
    uint16_t strip[kSpectrogramRows];
    int levels[kSpectrogramRows];
    FindLevels(columnValues, levels, kSpectrogramRows);
    for (int i = 0; i < kSpectrogramRows; i++) {
        const int level = levels[i];
        int v = int(float(level) * (1.0f - a) + smoothedLevels[i] * a);
        smoothedLevels[i] = float(v);
        if (v > kColourCount - 1) v = kColourCount - 1;
        strip[i] = ColourMap[v];
    }
    ScrollInsertColumn(strip, kSpectrogramStripShift, kPlotTopRow, kSpectrogramRows,
                       kSpectrogramStripRight);
}
