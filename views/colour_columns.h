// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrogram back end of DrawBlockView: every block becomes one strip of 170 colours
// scrolled in at the right of the plot.
#pragma once

constexpr int kSpectrogramStripShift = 4;    // columns the plot scrolls per block
constexpr int kSpectrogramStripRight = 201;  // column of the newest strip

// Turns columnValues[0 .. 169] (ColumnValues) into level indices, averages them in
// smoothedLevels (SmoothedLevels) and scrolls the strip into the plot.
void DrawSpectrogramStrip(const float* columnValues, float* smoothedLevels);
