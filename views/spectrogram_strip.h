// The spectrogram back end of DrawBlockView: every block becomes one strip of 170 colours
// scrolled in at the right of the plot.
#pragma once

// Turns columnValues[0 .. 169] (ColumnValues) into level indices, averages them in
// smoothedLevels (SmoothedLevels) and scrolls the strip into the plot.
void DrawSpectrogramStrip(const float* columnValues, float* smoothedLevels);
