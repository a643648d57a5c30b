// SPDX-License-Identifier: GPL-3.0-or-later
// The pointer's reading of the view area.
#include "views/cursor_reading.h"

#include <cstdio>

#include "views/axes.h"
#include "views/colour_columns.h"
#include "views/view_state.h"

namespace {

constexpr int kBlockSamples = 1024;  // new samples behind every drawn strip
constexpr float kPlotHeight = 170.0f;

}  // namespace

bool ReadViewPoint(int x, int y, int view, ViewReading* reading) {
    const bool spectrum = view == kSpectrumView;
    const int lastColumn = spectrum ? kSpectrumColumns - 1 : kSpectrogramStripRight;
    if (reading == nullptr || x < 0 || x > lastColumn || y < kPlotTopRow || y > kPlotBottomRow) {
        return false;
    }
    const ViewStateRecord& v = ViewState;
    const float inverse = InverseBinWidth(v.captureRate, v.fftSize, v.rateSetting);
    // The spectrum's columns run left to right, the spectrogram's positions bottom up.
    const int position = spectrum ? x : kPlotBottomRow - y;
    const float bin = ColumnMap.columnPosition[position];
    reading->frequency = inverse > 0.0f ? bin / inverse : 0.0f;
    reading->levelDb = float(v.dbMin) +
                       float(kPlotBottomRow - y) * (float(v.dbMax) - float(v.dbMin)) / kPlotHeight;
    const int blocks = (kSpectrogramStripRight - x) / kSpectrogramStripShift;
    reading->secondsAgo =
        v.captureRate > 0 ? float(blocks) * float(kBlockSamples) / float(v.captureRate) : 0.0f;
    return true;
}

int FormatViewReading(const ViewReading& reading, int view, char* text, int capacity) {
    if (text == nullptr || capacity <= 0) return 0;
    char frequency[32];
    if (reading.frequency >= 1000.0f) {
        std::snprintf(frequency, sizeof frequency, "%.2f kHz", double(reading.frequency) / 1000.0);
    } else {
        std::snprintf(frequency, sizeof frequency, "%.0f Hz", double(reading.frequency));
    }
    const int length = view == kSpectrumView
                           ? std::snprintf(text, size_t(capacity), "%s  %.0f dB", frequency,
                                           double(reading.levelDb))
                           : std::snprintf(text, size_t(capacity), "%s  %.1f s ago", frequency,
                                           double(reading.secondsAgo));
    if (length < 0) {
        text[0] = '\0';
        return 0;
    }
    return length < capacity ? length : capacity - 1;
}
