// SPDX-License-Identifier: GPL-3.0-or-later
// View state and layout: the one record of view parameters and switches, the screen regions
// of the 240-column frame, the clear and fade operations, the setters through which the
// shell changes the views. The frame drawn from them and the view sequences: view_frame.h.
//
// Static parts (axes, labels, grids, legend, the spectrum view's notice) live on the
// overlay; moving parts (traces, spectrogram, waveform, readout) on the canvas. Any clear
// of a rectangle wipes the whole overlay, so the static frame is redrawn after it.
//
// Sections:
//   Record          ViewMode values, ViewState
//   Rectangles      ClearSpectrumPlot ... FadeWaveformStrip
//   Setters         SetDbGridVisible ... SetPeakProfile
#pragma once

#include <cstdint>

#include "raster/surface.h"

// ---- Layout (columns and surface rows of the 240-column frame) ---------------------------

constexpr int kViewColumns = 240;
constexpr int kWaveformStripRows = 59;       // rows 0 .. 58; the time axis is row 59
constexpr int kSpectrumPlotTop = 85;         // the spectrum plot is cleared and faded 85 .. 254
constexpr int kPlotTopRow = 86;              // top row of the traces and the spectrogram
constexpr int kPlotBottomRow = 255;          // level 0, the lowest frequency
constexpr int kPlotRows = 170;               // rows 86 .. 255
constexpr int kDbScaleLeft = 207;            // the spectrum's dB scale: columns 207 .. 239
constexpr int kSpectrogramAxisColumn = 202;  // the frequency axis right of the spectrogram
constexpr int kHalfBandRate = 11025;         // a capture at this rate always shows the half band

// The full band (up to half the capture rate) is shown when the rate setting is 1 and the
// capture rate is not kHalfBandRate.
bool FullBand(int captureRate, int rateSetting);

// ---- Record -----------------------------------------------------------------------------

// The ViewMode that every view operation takes last. Any value other than kSpectrumView is
// drawn as the spectrogram.
constexpr int kSpectrogramView = 0;
constexpr int kSpectrumView = 1;

// Peak-hold profiles; any other value holds like None.
constexpr int kPeakProfileNone = 0;
constexpr int kPeakProfileCalibrate = 1;
constexpr int kPeakProfileMusic = 2;

// dB limits of the view arithmetic: SetDbRange takes a value beyond them as the nearest end,
// so every pixel row and loop count derived from the range stays small.
constexpr int kViewDbLowest = -1000;
constexpr int kViewDbHighest = 1000;

// Largest FFT length the views resample from (the spectra hold 1024 bins).
constexpr int kViewMaxFftSize = 1024;

struct ViewStateRecord {
    // Frequency view, stored by SetupFrequencyView.
    int captureRate;   // Hz: 11025 or 22050
    int fftSize;       // FFT length N
    int rateSetting;   // 0 = "11025 Hz" (half band, bins half as wide), 1 = "22050 Hz"
    uint8_t logScale;  // non-zero: logarithmic frequency scale

    // dB range, stored by SetDbRange (limited to kViewDbLowest .. kViewDbHighest).
    int dbMax;   // dB at the top of the plot
    int dbMin;   // dB at the bottom of the plot
    int dbStep;  // dB between ticks, labels and grid lines; no ticks when not positive

    float averagingFactor;  // 0 (Short), 0.7 (Medium), 0.9 (Long); SetAveragingFactor
    int peakProfile;        // kPeakProfile*; SetPeakProfile

    // Switches, set by the shell's toggle buttons and by start-up.
    uint8_t dbLabelsVisible;  // dB scale or legend labels shown
    uint8_t dbGridVisible;    // horizontal dB grid (spectrum view)
    uint8_t freqGridVisible;  // vertical frequency grid (spectrum view)
    uint8_t resetPending;     // the next DrawBlockView clears averaging and peak hold

    // Pens; never changed after start.
    PenCode axisPen;          // axes, labels, unit texts, spectrum notice (white, overlay)
    PenCode readoutFramePen;  // readout band frame (blue, canvas)
    PenCode gridPen;          // grid lines (red, overlay)
    PenCode tracePen;         // waveform trace (settable pen, yellow after start-up)
    PenCode peakPen;          // peak-hold trace (cyan, canvas)
    PenCode spectrumPen;      // spectrum trace (default colour 0x87E0, canvas)
};
extern ViewStateRecord ViewState;
// Puts ViewState back as it was when the program started.
void ResetViewState();

// ---- Rectangles -------------------------------------------------------------------------

void ClearSpectrumPlot();         // canvas 0..239 x 85..254
void ClearSpectrogramPlot();      // canvas 0..239 x 86..255
void ClearFrequencyLabelStrip();  // canvas 0..239 x 256..267
void ClearFrequencyAxisArea(int view);
void ClearDbAxisArea(int view);  // the spectrogram's "clear" repaints the legend
void FadeSpectrumPlot();         // after every presented frame in the spectrum view
void FadeWaveformStrip();        // after every presented frame

// ---- Setters (each stores its argument and does nothing else) ---------------------------

void SetDbGridVisible(bool visible);
void SetFreqGridVisible(bool visible);
void SetDbLabelsVisible(bool visible);
void RequestViewReset(bool reset);
// Factors outside 0 .. 1 (or NaN) would let the averaging run away; they are taken as the
// nearest end (NaN as 0).
void SetAveragingFactor(float factor);
void SetPeakProfile(int mode);
