// SPDX-License-Identifier: GPL-3.0-or-later
// Axes, scales and labels: column map, tick tables, frequency and dB axes, grids, time axis.
#include "views/axes.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "raster/font.h"
#include "raster/surface.h"
#include "views/level_tables.h"
#include "views/view_state.h"

ColumnMapRecord ColumnMap;

const TickTable LinearFullTicks = {10,
                                   {1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000}};
const TickTable LogFullSpectrumTicks = {7, {100, 200, 400, 1000, 2000, 4000, 8000}};
const TickTable LogFullSpectrogramTicks = {10,
                                           {100, 200, 400, 600, 800, 1000, 2000, 4000, 6000, 8000}};
const TickTable LinearHalfSpectrumTicks = {5, {1000, 2000, 3000, 4000, 5000}};
const TickTable LinearHalfSpectrogramTicks = {5, {1000, 2000, 3000, 4000, 5000}};
const TickTable LogHalfSpectrumTicks = {6, {100, 200, 400, 1000, 2000, 4000}};
const TickTable LogHalfSpectrogramTicks = {8, {100, 200, 400, 600, 800, 1000, 2000, 4000}};

namespace {

constexpr int kLabelSize = 16;  // bytes of a formatted axis label

// Spectrum frequency axis below the plot, dB scale right of it.
constexpr int kSpectrumBaseline = 256;
constexpr int kSpectrumLabelRow = 260;
constexpr int kDbScaleTickEnd = 212;
constexpr int kDbScaleLabelColumn = 215;
constexpr int kDbScaleLastLabel = 155;  // ticks this high or higher carry no label

// Spectrogram: frequency axis right of the plot, legend labels under it.
constexpr int kSpectrogramTickEnd = 210;
constexpr int kSpectrogramLabelColumn = 213;
constexpr int kSpectrogramUnitColumn = 212;
constexpr int kLegendLabelRow = 256;
constexpr int kLegendTickTop = 263;
constexpr int kLegendTickBottom = 268;
constexpr int kLegendLastLabel = 225;  // labels of ticks from here on sit at column 220
constexpr int kLegendRightLabel = 220;
constexpr int kSkippedFirstDb = -90;

// Waveform time axis.
constexpr int kTimeAxisRow = kWaveformStripRows;
constexpr int kTimeTickBottom = 64;
constexpr int kTimeLabelLimit = 196;

int DrawnPositions(int view) {
    return view == kSpectrumView ? kSpectrumColumns : kSpectrogramRows;
}

// Calls draw(m) for m = first, stepping by dbStep while m < dbMax (all float); nothing for a
// reversed or empty range or a step that is not positive.
template <typename Draw>
void ForEachDbTick(float first, Draw draw) {
    const float step = float(ViewState.dbStep);
    if (!(step > 0.0f)) return;
    for (float m = first; m < float(ViewState.dbMax); m = m + step)
        draw(m);
}

}  // namespace

float InverseBinWidth(int captureRate, int fftSize, int rateSetting) {
    if (captureRate <= 0 || fftSize <= 0) return 0.0f;
    float width = float(captureRate) / float(fftSize);
    if (rateSetting == 0) width = width * 0.5f;
    return 1.0f / width;
}

const TickTable& FrequencyTickTable(uint8_t logScale, bool fullBand, int view) {
    const bool spectrum = view == kSpectrumView;
    if (logScale != 0) {
        if (fullBand) return spectrum ? LogFullSpectrumTicks : LogFullSpectrogramTicks;
        return spectrum ? LogHalfSpectrumTicks : LogHalfSpectrogramTicks;
    }
    if (fullBand) return LinearFullTicks;
    return spectrum ? LinearHalfSpectrumTicks : LinearHalfSpectrogramTicks;
}

bool BuildColumnMap(int fftSize, float topBin, float lowBin, uint8_t logScale, int view) {
    if (fftSize < 4 || fftSize > kViewMaxFftSize) return false;
    if (!(topBin >= 0.0f && topBin <= float(fftSize / 2 - 1))) return false;
    if (logScale != 0 && !(lowBin > 0.0f && lowBin <= topBin)) return false;
    const int w = DrawnPositions(view);
    if (logScale != 0) {
        const float k = float(std::log10(double(topBin / lowBin)) / double(w - 1));
        for (int h = 0; h < w; h++) {
            ColumnMap.columnPosition[h] =
                float(std::pow(10.0, double(float(h) * k)) * double(lowBin));
        }
    } else {
        const float step = topBin / float(w - 1);
        for (int h = 0; h < w; h++)
            ColumnMap.columnPosition[h] = float(h) * step;
    }
    for (int h = 0; h < kViewPositions; h++) {
        if (h >= w) ColumnMap.columnPosition[h] = ColumnMap.columnPosition[w - 1];
        const float position = ColumnMap.columnPosition[h];
        ColumnMap.columnBin[h] = int(std::floor(position));
        ColumnMap.columnFraction[h] = position - float(ColumnMap.columnBin[h]);
    }
    return true;
}

int FindColumn(float x) {
    int b = 256;
    for (int n = 7; n >= 0; n--) {
        if (x > ColumnMap.columnPosition[b / 2]) {
            b += 1 << n;
        } else {
            b -= 1 << n;
        }
    }
    return b / 2;
}

void DrawFrequencyAxis(int captureRate, int fftSize, int rateSetting, const int* ticks,
                       int tickCount, int view) {
    const PenCode pen = ViewState.axisPen;
    const float inverse = InverseBinWidth(captureRate, fftSize, rateSetting);
    const bool spectrum = view == kSpectrumView;
    if (spectrum) {
        FillRect(pen, 0, kSpectrumBaseline, kSpectrumColumns, 1);
    } else {
        DrawLine(pen, kSpectrogramAxisColumn, kPlotTopRow, kSpectrogramAxisColumn,
                 kSpectrumBaseline);
    }
    bool kiloHertz = false;
    for (int t = 0; t < tickCount; t++) {
        const int f = ticks[t];
        const float pos = float(FindColumn(float(f) * inverse));
        if (t == 0) {
            kiloHertz = f >= 1000;
            if (spectrum) {
                DrawText(pen, kiloHertz ? "kHz" : "Hz", 0, kSpectrumLabelRow);
            } else {
                DrawText(pen, kiloHertz ? "kHz" : "Hz", kSpectrogramUnitColumn, kPlotTopRow);
            }
        }
        char label[kLabelSize];
        if (kiloHertz || f < 1000) {
            std::snprintf(label, sizeof label, "%d\n", kiloHertz ? f / 1000 : f);
        } else {
            std::snprintf(label, sizeof label, "%dk\n", f / 1000);
        }
        if (spectrum) {
            const int x = int(pos);
            DrawLine(pen, x, kSpectrumBaseline, x, kSpectrumBaseline + 2);
            DrawText(pen, label, int(pos - 2.0f), kSpectrumLabelRow);
        } else {
            const float y = float(kPlotBottomRow) - pos;
            DrawLine(pen, kSpectrogramAxisColumn, int(y), kSpectrogramTickEnd, int(y));
            DrawText(pen, label, kSpectrogramLabelColumn, int(y + 1.0f));
        }
    }
}

void DrawDbAxis(int view) {
    const PenCode pen = ViewState.dbLabelsVisible ? ViewState.axisPen : kPenEraser;
    const float dbMin = float(ViewState.dbMin);
    const float span = 1.0f / float(ViewState.dbMax - ViewState.dbMin);
    float first = float(ViewState.dbMin + ViewState.dbStep);
    char label[kLabelSize];
    if (view == kSpectrumView) {
        DrawText(pen, "dB", kDbScaleLabelColumn, 87);
        ForEachDbTick(first, [&](float m) {
            const int o = int((m - dbMin) * (span * float(kPlotRows)));
            DrawLine(pen, kDbScaleLeft, kPlotBottomRow - o, kDbScaleTickEnd, kPlotBottomRow - o);
            if (o < kDbScaleLastLabel) {
                std::snprintf(label, sizeof label, "%d\n", std::abs(int(m)));
                DrawText(pen, label, kDbScaleLabelColumn, kPlotBottomRow - o);
            }
        });
        return;
    }
    PaintLevelLegend();
    if (!ViewState.dbLabelsVisible) return;
    DrawText(ViewState.axisPen, "dB", 0, kLegendLabelRow);
    if (first == float(kSkippedFirstDb)) first = first + float(ViewState.dbStep);
    ForEachDbTick(first, [&](float m) {
        const int o = int((m - dbMin) * (span * float(kViewColumns)));
        DrawLine(ViewState.axisPen, o, kLegendTickBottom, o, kLegendTickTop);
        std::snprintf(label, sizeof label, "%d\n", std::abs(int(m)));
        DrawText(ViewState.axisPen, label, o >= kLegendLastLabel ? kLegendRightLabel : o - 8,
                 kLegendLabelRow);
    });
}

void DrawDbGrid(int view) {
    if (view != kSpectrumView) return;
    const PenCode pen = ViewState.dbGridVisible ? ViewState.gridPen : kPenEraser;
    const float dbMin = float(ViewState.dbMin);
    const float scale = float(kPlotRows) / float(ViewState.dbMax - ViewState.dbMin);
    ForEachDbTick(float(ViewState.dbMin + ViewState.dbStep), [&](float m) {
        const int g = int((m - dbMin) * scale);
        DrawLine(pen, 0, kPlotBottomRow - g, kSpectrumColumns - 1, kPlotBottomRow - g);
    });
}

void DrawFrequencyGrid(int view) {
    if (view != kSpectrumView) return;
    const PenCode pen = ViewState.freqGridVisible ? ViewState.gridPen : kPenEraser;
    const TickTable& table = FrequencyTickTable(
        ViewState.logScale, FullBand(ViewState.captureRate, ViewState.rateSetting), view);
    const float inverse =
        InverseBinWidth(ViewState.captureRate, ViewState.fftSize, ViewState.rateSetting);
    for (int t = 0; t < table.count; t++) {
        const int x = FindColumn(float(table.ticks[t]) * inverse);
        DrawLine(pen, x, kPlotBottomRow, x, kPlotTopRow);
    }
}

void DrawTimeAxis(int sampleRate, int width, int spacingMs) {
    const PenCode pen = ViewState.axisPen;
    FillRect(pen, 0, kTimeAxisRow, kSpectrumColumns, 1);
    DrawText(pen, "msec", 206, kTimeTickBottom);
    // Without a positive rate, width and spacing there is no time scale to tick; ticks
    // past the strip's width could not be drawn, and bounding the width bounds the loop.
    if (sampleRate <= 0 || width <= 0 || spacingMs <= 0) return;
    if (width > kSpectrumColumns) width = kSpectrumColumns;
    const float p = 1.0f / float(sampleRate);
    const float step = float(spacingMs) * 0.001f;
    const float span = float(width) * p;
    char label[kLabelSize];
    for (float t = 0.0f; t <= span; t = t + step) {
        const float x = float(int((1.0f / p) * t));
        const int ms = int((1.0f / float(spacingMs)) * t * 1000.0f);
        DrawLine(pen, int(x), kTimeAxisRow, int(x), kTimeTickBottom);
        if (x < float(kTimeLabelLimit)) {
            std::snprintf(label, sizeof label, "%d\n", ms);
            DrawText(pen, label, int(x + 1.0f), kTimeTickBottom);
        }
    }
}
