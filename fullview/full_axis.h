// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's frequency axis: a band [lowHz, highHz] of 0 .. Nyquist spread linearly or
// logarithmically over any number of pixel positions, zoomed and panned; the ticks and their
// labels; the map from positions to FFT bins and the level at every position. Positions run
// from the low end: position p is the pixel whose low edge is at p (a spectrum's column p,
// a spectrogram's row height - 1 - p), its middle at p + 0.5.
#pragma once

constexpr int kFullMaxPositions = 8192;    // pixels along an axis (an 8K screen's width)
constexpr float kFullLogLowestHz = 20.0f;  // the log axis starts here when showing it all
constexpr float kFullMinSpanHz = 10.0f;    // the narrowest band a zoom reaches

struct FullAxis {
    int positions;  // pixels along the axis, 1 .. kFullMaxPositions
    float lowHz;    // frequency at position 0
    float highHz;   // frequency at position `positions`
    bool log;       // equal frequency ratios per pixel instead of equal differences
    float nyquistHz;
};

// The whole band: 0 (linear) or kFullLogLowestHz (log) to nyquistHz. Positions are limited
// to 1 .. kFullMaxPositions.
FullAxis WholeFullAxis(int positions, bool log, float nyquistHz);
// The same band over another number of positions, or on the other scale (the band kept
// where the scale allows it; the whole band stays the whole band).
FullAxis ResizedFullAxis(const FullAxis& axis, int positions);
FullAxis RescaledFullAxis(const FullAxis& axis, bool log);

// Frequency at a (fractional) position and the position of a frequency.
float FullAxisFrequency(const FullAxis& axis, float position);
float FullAxisPosition(const FullAxis& axis, float hz);

// The band narrowed by `factor` (above 1 zooms in, below 1 out) so that the frequency at
// `position` stays there; moved by `pixels` (positive shows higher frequencies). Both keep
// the band inside the whole band and at least kFullMinSpanHz wide; a factor or move that
// is not finite changes nothing.
FullAxis ZoomFullAxis(const FullAxis& axis, float position, float factor);
FullAxis PanFullAxis(const FullAxis& axis, float pixels);

// ---- Ticks ---------------------------------------------------------------------------------

constexpr int kFullMaxTicks = 64;
constexpr int kFullLabelSize = 16;
struct FullTick {
    float value;                 // Hz or dB
    float position;              // exact position of the value
    char label[kFullLabelSize];  // "500 Hz", "1.5 kHz", "-60 dB"
};
struct FullTickList {
    int count;
    FullTick ticks[kFullMaxTicks];
};

// Ticks at round frequencies (1, 2 or 5 times a power of ten, or on a log axis each decade's
// 1 .. 9, 1-2-5 or 1), no two closer than minSpacing pixels, in ascending order.
void BuildFullFrequencyTicks(const FullAxis& axis, float minSpacing, FullTickList* ticks);
// Ticks at round dB values on a scale from lowDb (position 0) to highDb (position
// `positions`), no two closer than minSpacing pixels.
void BuildFullDbTicks(float lowDb, float highDb, int positions, float minSpacing,
                      FullTickList* ticks);

// "440 Hz", "1.25 kHz": a frequency with the decimals that `resolutionHz` makes meaningful.
int FormatFullFrequency(float hz, float resolutionHz, char* text, int capacity);

// ---- Positions and bins --------------------------------------------------------------------

// Which bins each position shows: the bins whose centres lie in its band, or, where the band
// is narrower than a bin, the fractional bin at its middle (an interpolated level).
struct FullPositionMapRecord {
    int positions;
    int binCount;
    int firstBin[kFullMaxPositions];  // bins firstBin .. lastBin lie in the position's band
    int lastBin[kFullMaxPositions];   // below firstBin: none does; centreBin is read instead
    float centreBin[kFullMaxPositions];
    float peakExponent;  // of the analysis window: see FullLevelAtBin
};
extern FullPositionMapRecord FullPositionMap;

// Fills FullPositionMap for the axis and an analysis of binCount bins binHz wide whose
// window has the peak exponent given (FullPeakExponent).
void BuildFullPositionMap(const FullAxis& axis, float binHz, int binCount, float peakExponent);

// The level at every position of the map: the highest of its bins, or the level interpolated
// at its middle (FullLevelAtBin).
void FullPositionLevels(const float* binDb, float* positionDb);
