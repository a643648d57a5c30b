// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's options: its analysis, the colour map, the frequency axis and the dB
// scale. Set by the full view's options dialog and kept in the program's choices.
#pragma once

#include "fullview/full_analysis.h"
#include "fullview/full_colours.h"

constexpr float kFullLowestDb = -150.0f;  // the dB scale stays within this and full scale
constexpr float kFullHighestDb = 0.0f;
constexpr float kFullMinDbRange = 10.0f;

struct FullViewOptionsRecord {
    FullAnalysisConfig analysis;
    FullColourMapKind colours;
    bool logAxis;  // the frequency axis in equal ratios
    bool filled;   // the spectrum's area under its line filled
    float dbLow;   // dB at the bottom of the spectrum and the legend's dark end
    float dbHigh;  // dB at the top and the bright end
    bool tuner;    // the tuner gauge beside the waveform strip and the readout
};
extern FullViewOptionsRecord FullViewOptions;

// The options of a first start: DefaultFullAnalysisConfig, the handheld's colours, a log
// axis, the line alone, -120 .. 0 dB, the tuner gauge.
FullViewOptionsRecord DefaultFullViewOptions();

// The dB scale [low, high] moved and narrowed to lie within kFullLowestDb .. kFullHighestDb
// and be at least kFullMinDbRange wide; NaN ends give the default scale.
void LimitFullDbRange(float* low, float* high);
