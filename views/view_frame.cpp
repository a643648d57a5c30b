// SPDX-License-Identifier: GPL-3.0-or-later
// The frame of a view and the sequences that enter each view.
#include "views/view_frame.h"

#include <cmath>

#include "raster/font.h"
#include "raster/surface.h"
#include "views/axes.h"
#include "views/readout.h"
#include "views/view_state.h"

namespace {

constexpr float kLowestLogFrequency = 50.0f;  // Hz at the left of the log scale (full bins)
constexpr int kMaxDbStep = kViewDbHighest - kViewDbLowest;

const char kCalibratingText[] = "Calibrating";

int LimitDb(int db) {
    return db < kViewDbLowest ? kViewDbLowest : (db > kViewDbHighest ? kViewDbHighest : db);
}

}  // namespace

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
