// Spectrogram view and colour map: every block becomes one strip of 170 colours scrolled in
// at the right of the plot, with a colour-bar legend of the same map under it.
#pragma once

#include <cstdint>

constexpr int kColourCount = 256;  // entries of ColourMap, one per level index

// RGB565 colour per level index: black, blue, blue-green, green, yellow, red upwards.
extern uint16_t ColourMap[kColourCount];

// Builds the map from `count` entries (1 .. 256) with the shares of the yellow-to-green,
// green-to-blue and blue-to-black bands (start-up: 256, 0.3, 0.2, 0.2); the rest is the
// red band. Returns false, leaving the map unchanged, unless every share is positive,
// their sum is below 1 and the three bands end inside the map.
bool BuildColourMap(int count, float yellowShare, float greenShare, float blueShare);

// Paints ColourMap as the legend bar into the overlay rows from 256 to the view's bottom.
void PaintLevelLegend();

// The spectrogram back end of DrawBlockView: turns ColumnValues[0 .. 169] into level
// indices, averages them in SmoothedLevels and scrolls the strip into the plot.
void DrawSpectrogramStrip();
