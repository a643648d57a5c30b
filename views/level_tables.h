// SPDX-License-Identifier: GPL-3.0-or-later
// The level tables: LevelTable turns linear power into display levels without a logarithm
// per block, ColourMap turns a level into the spectrogram's colour, which the legend bar
// shows. Both views look levels up position by position.
#pragma once

#include <cstdint>

// Positions held by the per-position tables (ColumnMap, ColumnValues, SmoothedLevels, ...).
constexpr int kViewPositions = 256;

constexpr int kLevelCount = 256;  // entries of LevelTable; levels are 0 .. 255

// Ascending linear power thresholds spanning the dB range: entry 0 is the bottom, entry 255
// one step below the top. Rebuilt by BuildLevelTable when the range changes.
extern float LevelTable[kLevelCount];

// Fills LevelTable with `count` (at most 256) entries from `bottom` up towards `top`, both
// linear powers, in equal ratios. Powers beyond the float range are taken as the smallest
// or largest normal float; NaN or a count below 1 leaves the table unchanged.
void BuildLevelTable(float top, float bottom, int count);

// Index of the last LevelTable entry strictly below x, 0 when none (also for NaN and for
// negative powers); always eight probes.
int FindLevel(float x);

// levels[i] = FindLevel(values[i]) for i < count (at most kViewPositions). The searches run
// side by side, probe by probe, so that they overlap instead of waiting on each other.
void FindLevels(const float* values, int* levels, int count);

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
