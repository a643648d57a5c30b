// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrum view and the common front end of DrawBlockView: the resampling of a spectrum
// onto the view's positions, time averaging, and the spectrum view's trace with its
// per-column peak hold. The levels come from level_tables.h; the spectrogram back end is
// colour_columns.h.
#pragma once

#include "views/axes.h"

// The block's spectrum resampled onto the view's positions (power); positions past the
// view's width repeat the last one.
extern float ColumnValues[kViewPositions];

// Averaging state per position, shared by both views: pixel heights 0 .. 169 in the
// spectrum view, level indices 0 .. 255 in the spectrogram. Zeroed on a requested reset.
extern float SmoothedLevels[kViewPositions];

// Peak hold of one spectrum column.
struct PeakHoldEntry {
    float level;            // held pixel height, 0 .. 169
    double elapsedSamples;  // samples since the level was last captured
};
extern PeakHoldEntry PeakHoldRecord[kViewPositions];

// Zeroes SmoothedLevels and PeakHoldRecord, as they are when the program starts.
void ResetBlockView();

// Draws one block's spectrum (bins 0 .. fftSize/2 of `spectrum`) in the view: resampled
// through ColumnMap, averaged, then traced with peak hold (spectrum view, sampleRate in
// Hz, blockLength new samples) or scrolled in as a colour strip (spectrogram view).
// A null spectrum draws nothing; a sample rate outside 1 .. 192000 or a negative block
// length holds peaks like None.
void DrawBlockView(const float* spectrum, int sampleRate, int blockLength, int view);
