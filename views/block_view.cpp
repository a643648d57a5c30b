// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrum view: the front end of DrawBlockView (resampling, reset, averaging) and the
// spectrum back end with its peak hold.
#include "views/block_view.h"

#include <cmath>
#include <cstring>

#include "raster/surface.h"
#include "views/colour_columns.h"
#include "views/level_tables.h"
#include "views/view_state.h"

float ColumnValues[kViewPositions];
float SmoothedLevels[kViewPositions];
PeakHoldEntry PeakHoldRecord[kViewPositions];

void ResetBlockView() {
    std::memset(SmoothedLevels, 0, sizeof SmoothedLevels);
    std::memset(PeakHoldRecord, 0, sizeof PeakHoldRecord);
}

namespace {

constexpr float kLevelToPixels = 0.6640625f;  // 170 / 256: level index to pixel height
constexpr int kMaxSampleRate = 192000;        // keeps 5 x rate inside an int

// Peak-hold timing of one block, in pixels and samples.
struct PeakTiming {
    int profile;     // kPeakProfile*, None for anything unusable
    int hold;        // samples a peak is held before it falls
    int recent;      // Calibrate: samples within which only a higher level recaptures
    float decay;     // pixels per block: six (Music) or ten (Calibrate) dB per second
    float nearBand;  // Calibrate: two dB in pixels
};

// 1 / (dbMax - dbMin); a range of zero width or reversed counts as one dB wide, so the
// peak fall stays finite.
float DbSpan() {
    const int width = ViewState.dbMax - ViewState.dbMin;
    return 1.0f / float(width > 0 ? width : 1);
}

PeakTiming PeakTimingFor(int sampleRate, int blockLength) {
    PeakTiming t = {kPeakProfileNone, 0, 0, 0.0f, 0.0f};
    if (sampleRate < 1 || sampleRate > kMaxSampleRate || blockLength < 0) return t;
    const float span = DbSpan();
    t.nearBand = span * 340.0f;
    if (ViewState.peakProfile == kPeakProfileCalibrate) {
        t.profile = kPeakProfileCalibrate;
        t.hold = 5 * sampleRate;
        t.decay = float(blockLength) * span * 1700.0f / float(sampleRate);
        t.recent = t.hold / 5;
    } else if (ViewState.peakProfile == kPeakProfileMusic) {
        t.profile = kPeakProfileMusic;
        t.hold = int(double(sampleRate) * 0.1);
        t.decay = float(blockLength) * span * 1020.0f / float(sampleRate);
    }
    return t;
}

// Power shown at position h: interpolated inside a bin, the maximum across several.
float ResampledValue(const float* s, int h) {
    const int i0 = ColumnMap.columnBin[h];
    const int i1 = ColumnMap.columnBin[h + 1];
    const float f0 = ColumnMap.columnFraction[h];
    const float f1 = ColumnMap.columnFraction[h + 1];
    if (i1 <= i0) {
        const float m = (f0 + f1) * 0.5f;
        return (1.0f - m) * s[i0] + m * s[i0 + 1];
    }
    if (i1 == i0 + 1) {
        const float m = (f0 + f1 + 1.0f) * 0.5f;
        if (m >= 1.0f) return (m - 1.0f) * s[ColumnMap.columnBin[h + 2]] + (2.0f - m) * s[i1];
        return (1.0f - m) * s[i0] + m * s[i0 + 1];
    }
    float largest = s[i0 + 1];
    for (int i = i0 + 2; i <= i1; i++) {
        if (s[i] > largest) largest = s[i];
    }
    return largest;
}

void HoldPeak(PeakHoldEntry& p, float v, const PeakTiming& t) {
    if (t.profile == kPeakProfileCalibrate) {
        if (v > p.level - t.nearBand) {
            if (p.elapsedSamples > t.recent || v >= p.level) {
                p.level = v;
                p.elapsedSamples = 0.0;
            }
        } else if (p.elapsedSamples > t.hold) {
            // The fall speeds up the longer the hold has run out.
            p.level = float(double(p.level) -
                            (p.elapsedSamples - double(t.hold)) * double(t.decay) / double(t.hold));
        }
    } else if (t.profile == kPeakProfileMusic) {
        if (v > p.level) {
            p.level = v;
            p.elapsedSamples = 0.0;
        } else if (p.elapsedSamples > t.hold) {
            p.level = p.level - t.decay;
        }
    }
    if (p.level < 0.0f) p.level = 0.0f;
}

void DrawSpectrumTraces(int sampleRate, int blockLength) {
    const PeakTiming timing = PeakTimingFor(sampleRate, blockLength);
    const float a = ViewState.averagingFactor;
    PixelPoint trace[kSpectrumColumns];
    PixelPoint peaks[kSpectrumColumns];
    int levels[kSpectrumColumns];
    FindLevels(ColumnValues, levels, kSpectrumColumns);
    for (int i = 0; i < kSpectrumColumns; i++) {
        const int level = levels[i];
        const float y0 = float(int(float(level) * kLevelToPixels));
        const int v = int(y0 * (1.0f - a) + SmoothedLevels[i] * a);
        SmoothedLevels[i] = float(v);
        trace[i] = {int16_t(i), int16_t(kPlotBottomRow - v)};

        PeakHoldEntry& p = PeakHoldRecord[i];
        HoldPeak(p, float(v), timing);
        peaks[i] = {int16_t(i), int16_t(int(float(kPlotBottomRow) - p.level))};
        p.elapsedSamples = p.elapsedSamples + double(blockLength);
    }
    DrawPolyline(ViewState.spectrumPen, trace, kSpectrumColumns);
    DrawPolyline(ViewState.peakPen, peaks, kSpectrumColumns);
}

}  // namespace

void DrawBlockView(const float* spectrum, int sampleRate, int blockLength, int view) {
    if (spectrum == nullptr) return;
    const int width = view == kSpectrumView ? kSpectrumColumns : kSpectrogramRows;
    for (int h = 0; h < width; h++)
        ColumnValues[h] = ResampledValue(spectrum, h);
    for (int h = width; h < kViewPositions; h++)
        ColumnValues[h] = ColumnValues[width - 1];

    if (ViewState.resetPending) {
        ViewState.resetPending = 0;
        for (int h = 0; h < kViewPositions; h++) {
            SmoothedLevels[h] = 0.0f;
            PeakHoldRecord[h] = {0.0f, 0.0};
        }
    }

    if (view == kSpectrumView) {
        DrawSpectrumTraces(sampleRate, blockLength);
    } else {
        DrawSpectrogramStrip(ColumnValues, SmoothedLevels);
    }
}
