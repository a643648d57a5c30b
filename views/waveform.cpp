// SPDX-License-Identifier: GPL-3.0-or-later
// Waveform strip: block statistics, rising-edge trigger, compressed vertical scale, trace.
#include "views/waveform.h"

#include <cmath>

#include "views/view_state.h"

namespace {

constexpr int kStatsStart = 50;  // first sample of the statistics and the trigger search
constexpr int kCentreRow = 28;
constexpr int kBottomRow = 58;    // the trace is clamped here; the top is not clamped
constexpr int kQuietRange = 660;  // ranges below this use the fixed divisor
constexpr int kQuietDivisor = 132;

}  // namespace

int WaveformDivisor(int range) {
    if (range < kQuietRange) return kQuietDivisor;
    const float scaled = float(range) * 0.02f;
    const float ratio = float(range) * (1.0f / 66000.0f) * 100.0f;  // range / 660
    const double divisor =
        double(scaled) /
        (double(0.05f) + double(0.95f) * std::log(double(ratio)) / std::log(100.0));
    return int(divisor);
}

void DrawWaveformStrip(const int16_t* samples, int length, int sampleRate, bool skip) {
    if (skip || samples == nullptr || length < kWaveformMinBlock) return;
    const int16_t* s = samples;
    const int n = length / 2;

    int blockMin = s[kStatsStart];
    int blockMax = s[kStatsStart];
    for (int i = n; i > kStatsStart; i--) {
        if (s[i] < blockMin) blockMin = s[i];
        if (s[i] > blockMax) blockMax = s[i];
    }
    const int high = (blockMin + 5 * blockMax) / 6;
    const int low = blockMin + blockMax - high;

    // The first rise above `high` after a dip below `low`.
    int trigger = 0;
    bool armed = false;
    for (int i = kStatsStart; i < n; i++) {
        if (!armed) {
            armed = s[i] < low;
        } else if (s[i] > high) {
            trigger = i;
            break;
        }
    }

    // At the half-band rate each sample takes two columns.
    const int points = sampleRate == kHalfBandRate ? kViewColumns / 2 : kViewColumns;
    const int spacing = kViewColumns / points;
    int traceMin = s[trigger];
    int traceMax = s[trigger];
    for (int j = 1; j < points; j++) {
        if (s[trigger + j] < traceMin) traceMin = s[trigger + j];
        if (s[trigger + j] > traceMax) traceMax = s[trigger + j];
    }
    const int range =
        (blockMax > traceMax ? blockMax : traceMax) - (blockMin < traceMin ? blockMin : traceMin);
    const int divisor = WaveformDivisor(range);

    PixelPoint trace[kViewColumns];
    for (int j = 0; j < points; j++) {
        const int16_t q = int16_t(s[trigger + j] / divisor);
        int y = q + kCentreRow;
        if (y >= kBottomRow) y = kBottomRow;
        trace[j] = {int16_t(spacing * j), int16_t(y)};
    }
    DrawWaveformTrace(trace, points);
}

void DrawWaveformTrace(const PixelPoint* points, int count) {
    DrawPolyline(ViewState.tracePen, points, count);
}
