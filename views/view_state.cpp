// SPDX-License-Identifier: GPL-3.0-or-later
// View state and layout: the record, the region operations and the setters.
#include "views/view_state.h"

#include <cmath>

#include "raster/surface.h"
#include "views/level_tables.h"

// Pen code 0 is not in the pen table: it draws the default colour 0x87E0 on the canvas.
constexpr PenCode kPenDefault = 0;

constexpr ViewStateRecord kInitialViewState = {
    .captureRate = 0,
    .fftSize = 0,
    .rateSetting = 0,
    .logScale = 0,
    .dbMax = 100,
    .dbMin = 0,
    .dbStep = 10,
    .averagingFactor = 0.0f,
    .peakProfile = kPeakProfileMusic,
    .dbLabelsVisible = 1,
    .dbGridVisible = 0,
    .freqGridVisible = 0,
    .resetPending = 0,
    .axisPen = kPenOverlayWhite,
    .readoutFramePen = kPenBlue,
    .gridPen = kPenOverlayRed,
    .tracePen = kPenSettable,
    .peakPen = kPenCyan,
    .spectrumPen = kPenDefault,
};
ViewStateRecord ViewState = kInitialViewState;

void ResetViewState() {
    ViewState = kInitialViewState;
}

namespace {

constexpr int kLabelStripTop = 256;
constexpr int kLabelStripHeight = 12;
constexpr int kDbScaleWidth = kViewColumns - kDbScaleLeft;
constexpr int kSpectrogramAxisWidth = kViewColumns - kSpectrogramAxisColumn;

}  // namespace

bool FullBand(int captureRate, int rateSetting) {
    return rateSetting == 1 && captureRate != kHalfBandRate;
}

void ClearSpectrumPlot() {
    ClearViewRect(0, kSpectrumPlotTop, kViewColumns, kPlotRows);
}

void ClearSpectrogramPlot() {
    ClearViewRect(0, kPlotTopRow, kViewColumns, kPlotRows);
}

void ClearFrequencyLabelStrip() {
    ClearViewRect(0, kLabelStripTop, kViewColumns, kLabelStripHeight);
}

void ClearFrequencyAxisArea(int view) {
    if (view == kSpectrumView) {
        ClearFrequencyLabelStrip();
    } else {
        ClearViewRect(kSpectrogramAxisColumn, kPlotTopRow, kSpectrogramAxisWidth, kPlotRows);
    }
}

void ClearDbAxisArea(int view) {
    if (view == kSpectrumView) {
        ClearViewRect(kDbScaleLeft, kSpectrumPlotTop, kDbScaleWidth, kPlotRows);
    } else {
        PaintLevelLegend();
    }
}

void FadeSpectrumPlot() {
    FadeRect(0, kSpectrumPlotTop, kViewColumns, kPlotRows);
}

void FadeWaveformStrip() {
    FadeRect(0, 0, kViewColumns, kWaveformStripRows);
}

void SetDbGridVisible(bool visible) {
    ViewState.dbGridVisible = visible;
}

void SetFreqGridVisible(bool visible) {
    ViewState.freqGridVisible = visible;
}

void SetDbLabelsVisible(bool visible) {
    ViewState.dbLabelsVisible = visible;
}

void RequestViewReset(bool reset) {
    ViewState.resetPending = reset;
}

void SetAveragingFactor(float factor) {
    ViewState.averagingFactor = factor > 1.0f ? 1.0f : (factor >= 0.0f ? factor : 0.0f);
}

void SetPeakProfile(int mode) {
    ViewState.peakProfile = mode;
}
