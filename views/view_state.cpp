// View state and layout: the record, the region operations, setters and frame sequences.
#include "views/view_state.h"

#include <cmath>

#include "raster/font.h"
#include "raster/surface.h"
#include "views/axes.h"
#include "views/colour_strip.h"
#include "views/readout.h"

// Pen code 0 is not in the pen table: it draws the default colour 0x87E0 on the canvas.
constexpr PenCode kPenDefault = 0;

ViewStateRecord ViewState = {
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

namespace {

constexpr int kLabelStripTop = 256;
constexpr int kLabelStripHeight = 12;
constexpr int kDbScaleWidth = kViewColumns - kDbScaleLeft;
constexpr int kSpectrogramAxisWidth = kViewColumns - kSpectrogramAxisColumn;

constexpr float kLowestLogFrequency = 50.0f;  // Hz at the left of the log scale (full bins)
constexpr int kMaxDbStep = kViewDbHighest - kViewDbLowest;

const char kCalibratingText[] = "Calibrating";

int LimitDb(int db) {
    return db < kViewDbLowest ? kViewDbLowest : (db > kViewDbHighest ? kViewDbHighest : db);
}

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

void SetupFrequencyView(int captureRate, int fftSize, int rateSetting, uint8_t logScale, int view) {
    ViewState.captureRate = captureRate;
    ViewState.fftSize = fftSize;
    ViewState.rateSetting = rateSetting;
    ViewState.logScale = logScale;
    RequestViewReset(true);

    const bool fullBand = FullBand(captureRate, rateSetting);
    const bool halfBand = rateSetting == 0 || captureRate == kHalfBandRate;
    if (!fullBand && !halfBand) return;

    const TickTable& table = FrequencyTickTable(logScale, fullBand, view);
    ClearFrequencyAxisArea(view);
    const float lowBin =
        logScale != 0 ? kLowestLogFrequency / float(captureRate) * float(fftSize) : 0.0f;
    BuildColumnMap(fftSize, float(fftSize / 2 - 1), lowBin, logScale, view);
    DrawFrequencyAxis(captureRate, fftSize, rateSetting, table.ticks, table.count, view);
}

void RedrawViewFrame(int view) {
    ClearDbAxisArea(view);
    SetupFrequencyView(ViewState.captureRate, ViewState.fftSize, ViewState.rateSetting,
                       ViewState.logScale, view);
    if (ViewState.dbLabelsVisible) {
        DrawFrequencyGrid(view);
        DrawDbGrid(view);
        DrawDbAxis(view);
    } else {
        DrawDbAxis(view);
        DrawFrequencyGrid(view);
        DrawDbGrid(view);
    }
}

void SetDbRange(int max, int min, float step, int view) {
    ViewState.dbMax = LimitDb(max);
    ViewState.dbMin = LimitDb(min);
    // NaN and steps below one dB give no ticks at all rather than an endless tick loop.
    ViewState.dbStep = step >= 1.0f ? int(std::fmin(step, float(kMaxDbStep))) : 0;
    DrawDbAxis(view);
}

void ShowCalibrating(int view, bool on) {
    if (view == kSpectrumView) {
        DrawText(on ? ViewState.axisPen : kPenEraser, kCalibratingText, 85, 110);
    } else if (on) {
        DrawText(kPenWhite, kCalibratingText, 115, 150);
    }
}

void EnterSpectrumView(int captureRate, int fftSize, int rateSetting, uint8_t logScale) {
    ClearSpectrumPlot();
    ClearFrequencyLabelStrip();
    DrawReadoutBand();
    SetupFrequencyView(captureRate, fftSize, rateSetting, logScale, kSpectrumView);
    ShowCalibrating(kSpectrumView, false);
    RedrawViewFrame(kSpectrumView);
    RequestViewReset(true);
}

void EnterSpectrogramView(int captureRate, int fftSize, int rateSetting, uint8_t logScale) {
    ClearSpectrogramPlot();
    DrawReadoutBand();
    SetupFrequencyView(captureRate, fftSize, rateSetting, logScale, kSpectrogramView);
    DrawDbAxis(kSpectrogramView);
    RequestViewReset(true);
}
