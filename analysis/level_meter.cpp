// SPDX-License-Identifier: GPL-3.0-or-later
// Peak and RMS over a sliding window of samples, and the clip sign's hold.
#include "analysis/level_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kRing = 16384;  // a power of two above the longest window (9600 samples)
constexpr double kFullScale = 32768.0;

// The window's samples and, for its peak, a falling staircase of magnitudes: each entry is
// louder than every later one, so the oldest entry still inside the window is its peak.
//
//   magnitudes in the window:  3 9 4 7 2 5      staircase: 9 7 5 (with their sample numbers)
struct LevelMeterRecord {
    int askedRate;         // Hz, as configured; 0 before the first configuration
    int rate;              // Hz, limited to what the window holds
    int window;            // samples in kLevelMeterWindowMs
    int clipThreshold;     // the smallest magnitude at or above kLevelMeterClipDb
    long long fed;         // samples taken since the configuration
    int16_t ring[kRing];   // newest at (fed - 1) % kRing
    long long sumSquares;  // of the window's samples: exact, never drifts
    long long stairSample[kRing];
    int stairMagnitude[kRing];
    long long stairFirst, stairEnd;  // entries first .. end - 1, indices modulo kRing
    long long clipHoldLeft;          // samples until the clip sign goes
};
LevelMeterRecord Meter;

float Decibels(double ratio) {
    if (!(ratio > 0.0)) return kLevelMeterFloorDb;
    return std::max(kLevelMeterFloorDb, std::min(0.0f, float(20.0 * std::log10(ratio))));
}

}  // namespace

void ConfigureLevelMeter(int sampleRate) {
    Meter = LevelMeterRecord{};
    Meter.askedRate = sampleRate;
    Meter.rate = std::clamp(sampleRate, 8000, kLevelMeterMaxRate);
    Meter.window = Meter.rate * kLevelMeterWindowMs / 1000;
    Meter.clipThreshold = int(std::ceil(kFullScale * std::pow(10.0, kLevelMeterClipDb / 20.0)));
}

int LevelMeterRate() {
    return Meter.askedRate;
}

void FeedLevelMeter(const int16_t* samples, int count) {
    LevelMeterRecord& m = Meter;
    if (m.rate == 0) return;
    for (int i = 0; i < count; i++) {
        const int v = samples[i];
        const int magnitude = v < 0 ? -v : v;
        const long long n = m.fed++;
        // The sample leaving the window; the ring holds zeros before the first.
        const int old = m.ring[(n - m.window) & (kRing - 1)];
        m.sumSquares += (long long)v * v - (long long)old * old;
        m.ring[n & (kRing - 1)] = int16_t(v);
        while (m.stairEnd > m.stairFirst &&
               m.stairMagnitude[(m.stairEnd - 1) & (kRing - 1)] <= magnitude)
            m.stairEnd--;
        m.stairSample[m.stairEnd & (kRing - 1)] = n;
        m.stairMagnitude[m.stairEnd & (kRing - 1)] = magnitude;
        m.stairEnd++;
        if (m.stairSample[m.stairFirst & (kRing - 1)] <= n - m.window) m.stairFirst++;
        if (magnitude >= m.clipThreshold) {
            m.clipHoldLeft = (long long)kLevelMeterClipHoldSeconds * m.rate;
        } else if (m.clipHoldLeft > 0) {
            m.clipHoldLeft--;
        }
    }
}

LevelReading ReadLevelMeter() {
    const LevelMeterRecord& m = Meter;
    LevelReading reading = {kLevelMeterFloorDb, kLevelMeterFloorDb, false};
    if (m.rate == 0 || m.fed == 0) return reading;
    const int peak = m.stairEnd > m.stairFirst ? m.stairMagnitude[m.stairFirst & (kRing - 1)] : 0;
    reading.peakDb = Decibels(double(peak) / kFullScale);
    reading.rmsDb = Decibels(std::sqrt(double(m.sumSquares) / double(m.window)) / kFullScale);
    reading.clipped = m.clipHoldLeft > 0;
    return reading;
}

long long LevelMeterSpansTaken() {
    return Meter.window > 0 ? Meter.fed / Meter.window : 0;
}

int FormatLevelReading(const LevelReading& reading, bool compact, char* text, int capacity) {
    if (capacity <= 0) return 0;
    // A sample of 32767 is -0.0003 dBFS: "0.0", not "-0.0".
    const auto shown = [](float db) { return db > -0.05f ? 0.0 : double(db); };
    const int written = std::snprintf(text, size_t(capacity),
                                      compact ? "%.1f / %.1f dBFS" : "Peak %.1f  RMS %.1f dBFS",
                                      shown(reading.peakDb), shown(reading.rmsDb));
    return written < 0 ? 0 : std::min(written, capacity - 1);
}
