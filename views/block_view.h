// Spectrum view and the common front end of DrawBlockView: the level table that turns
// linear power into display levels without a logarithm per block, the resampling of a
// spectrum onto the view's positions, time averaging, and the spectrum view's trace with
// its per-column peak hold. The spectrogram back end is in colour_strip.h.
#pragma once

#include "views/axes.h"

constexpr int kLevelCount = 256;  // entries of LevelTable; levels are 0 .. 255

// Ascending linear power thresholds spanning the dB range: entry 0 is the bottom, entry 255
// one step below the top. Rebuilt by BuildLevelTable when the range changes.
extern float LevelTable[kLevelCount];

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

// Draws one block's spectrum (bins 0 .. fftSize/2 of `spectrum`) in the view: resampled
// through ColumnMap, averaged, then traced with peak hold (spectrum view, sampleRate in
// Hz, blockLength new samples) or scrolled in as a colour strip (spectrogram view).
// A null spectrum draws nothing; a sample rate outside 1 .. 192000 or a negative block
// length holds peaks like None.
void DrawBlockView(const float* spectrum, int sampleRate, int blockLength, int view);
