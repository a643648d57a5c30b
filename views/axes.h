// SPDX-License-Identifier: GPL-3.0-or-later
// Axes, scales and labels: the column map that ties screen columns (spectrum) or rows
// (spectrogram) to FFT bins, the frequency tick tables, the frequency and dB axes, the two
// grids of the spectrum view and the millisecond axis of the waveform strip. Everything is
// drawn on the overlay: labels and axes with axisPen, grids with gridPen, and with the
// eraser pen 2 when switched off.
#pragma once

#include <cstdint>

#include "views/level_tables.h"
#include "views/view_state.h"

constexpr int kSpectrumColumns = kViewColumns;  // positions drawn in the spectrum view
constexpr int kSpectrogramRows = kPlotRows;     // positions drawn in the spectrogram view

// Which FFT bin every position shows. Only the first W positions are computed (W = 240 in
// the spectrum view, 170 in the spectrogram); the rest repeat position W - 1, so that
// readers may look at positions h + 1 and h + 2.
struct ColumnMapRecord {
    float columnPosition[kViewPositions];  // fractional bin index shown at the position
    int columnBin[kViewPositions];         // floor of the position
    float columnFraction[kViewPositions];  // position - bin, in [0, 1)
};
extern ColumnMapRecord ColumnMap;

// Tick frequencies of a frequency axis or grid, in Hz.
constexpr int kMaxTicks = 10;
struct TickTable {
    int count;
    int ticks[kMaxTicks];  // Hz, ascending
};
extern const TickTable LinearFullTicks;             // linear, full band: both views
extern const TickTable LogFullSpectrumTicks;        // log, full band, spectrum
extern const TickTable LogFullSpectrogramTicks;     // log, full band, spectrogram
extern const TickTable LinearHalfSpectrumTicks;     // linear, half band, spectrum
extern const TickTable LinearHalfSpectrogramTicks;  // linear, half band, spectrogram
extern const TickTable LogHalfSpectrumTicks;        // log, half band, spectrum
extern const TickTable LogHalfSpectrogramTicks;     // log, half band, spectrogram

// The tick table of a view for a scale (non-zero: log) and band.
const TickTable& FrequencyTickTable(uint8_t logScale, bool fullBand, int view);

// Fills ColumnMap for a view: linear from bin 0 to topBin, or (logScale non-zero) a
// constant frequency ratio per position from lowBin to topBin. topBin is fftSize / 2 - 1.
// Returns false, leaving the map unchanged, unless 4 <= fftSize <= kViewMaxFftSize,
// 0 <= topBin <= fftSize / 2 - 1 and, on the log scale, 0 < lowBin <= topBin.
bool BuildColumnMap(int fftSize, float topBin, float lowBin, uint8_t logScale, int view);

// 1 / bin width in Hz: bins are captureRate / fftSize wide, half that with rate setting 0.
// 0 when the rate or size is not positive, which puts every tick on position 0.
float InverseBinWidth(int captureRate, int fftSize, int rateSetting);

// Index of the last columnPosition strictly below x (0 when none, at most 255); always
// eight probes.
int FindColumn(float x);

// Baseline (spectrum) or vertical axis (spectrogram), ticks and labels of a tick table.
void DrawFrequencyAxis(int captureRate, int fftSize, int rateSetting, const int* ticks,
                       int tickCount, int view);
// The dB scale right of the spectrum, or the legend with its labels under the spectrogram.
void DrawDbAxis(int view);
// Spectrum view only: full-width lines at the dB ticks.
void DrawDbGrid(int view);
// Spectrum view only: full-height lines at the spectrum table's ticks.
void DrawFrequencyGrid(int view);
// The waveform strip's axis on row 59: a tick every `spacingMs` ms, labelled in ms.
void DrawTimeAxis(int sampleRate, int width, int spacingMs);
