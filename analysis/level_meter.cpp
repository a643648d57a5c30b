// SPDX-License-Identifier: GPL-3.0-or-later
// Peak and RMS over a sliding window of samples, and the clip sign's hold.
#include "analysis/level_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "raster/vector_loops.h"

namespace {

constexpr int kRing = 16384;  // a power of two at or above the longest window (9600 samples)
constexpr double kFullScale = 32768.0;

// The newest window of samples in a ring, with the exact sum of their squares, kept per block:
// the squares of the samples a block brings are added and those of the samples it pushes out
// subtracted. The peak is looked for when read. Sample n (counted from the configuration) is
// at ring[n % kRing], and the ring holds zeros before the first:
//
//   ring: | ... older, never read ... | fed - window .. fed - 1: the window | ...
struct LevelMeterRecord {
    int askedRate;         // Hz, as configured; 0 before the first configuration
    int rate;              // Hz, limited to what the window holds
    int window;            // samples in kLevelMeterWindowMs
    int clipThreshold;     // the smallest magnitude at or above kLevelMeterClipDb
    long long fed;         // samples taken since the configuration
    int16_t ring[kRing];   // the window's samples; the rest are stale
    long long sumSquares;  // of the window's samples: exact, never drifts
    long long clipEnd;     // the value of `fed` at which the clip sign goes; 0: none yet
};
LevelMeterRecord Meter;

float Decibels(double ratio) {
    if (!(ratio > 0.0)) return kLevelMeterFloorDb;
    return std::max(kLevelMeterFloorDb, std::min(0.0f, float(20.0 * std::log10(ratio))));
}

// Per-block loops, built for AVX2 too. Magnitudes go through the extremes, which stay in 16
// bits: the magnitude of -32768 does not.
struct Extremes {
    int low, high;  // the smallest and the largest sample; 0 for none
};

QUILLO_VECTOR_LOOP Extremes ExtremesOf(const int16_t* samples, int count) {
    int16_t low = 0, high = 0;
    for (int i = 0; i < count; i++) {
        low = std::min(low, samples[i]);
        high = std::max(high, samples[i]);
    }
    return {low, high};
}

QUILLO_VECTOR_LOOP long long SumOfSquares(const int16_t* samples, int count) {
    long long sum = 0;
    for (int i = 0; i < count; i++)
        sum += int(samples[i]) * int(samples[i]);
    return sum;
}

int Magnitude(const Extremes& e) {
    return std::max(e.high, -e.low);
}

// The ring's samples first .. first + count - 1 (count at most kRing) lie in at most two runs.
struct RingRuns {
    int at, head, tail;  // ring[at .. at + head - 1], then ring[0 .. tail - 1]
};
RingRuns RunsOf(long long first, int count) {
    const int at = int(first & (kRing - 1));
    const int head = std::min(count, kRing - at);
    return {at, head, count - head};
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
    if (m.rate == 0 || count <= 0) return;
    // Of a block longer than the window only its newest window stays.
    const int kept = std::min(count, m.window);
    const int16_t* newest = samples + (count - kept);
    if (kept == m.window) {
        m.sumSquares = SumOfSquares(newest, kept);
    } else {
        // The samples leaving are the window's oldest `kept`, read before the block's
        // samples take their places.
        const RingRuns leaving = RunsOf(m.fed - m.window, kept);
        m.sumSquares += SumOfSquares(newest, kept) -
                        SumOfSquares(m.ring + leaving.at, leaving.head) -
                        SumOfSquares(m.ring, leaving.tail);
    }
    const RingRuns arriving = RunsOf(m.fed + count - kept, kept);
    std::memcpy(m.ring + arriving.at, newest, size_t(arriving.head) * sizeof *newest);
    std::memcpy(m.ring, newest + arriving.head, size_t(arriving.tail) * sizeof *newest);
    // The sign is held from the block's last clipping sample, which few blocks have.
    if (Magnitude(ExtremesOf(samples, count)) >= m.clipThreshold) {
        int last = count - 1;
        while (std::abs(int(samples[last])) < m.clipThreshold)
            last--;
        m.clipEnd = m.fed + last + 1 + (long long)kLevelMeterClipHoldSeconds * m.rate;
    }
    m.fed += count;
}

LevelReading ReadLevelMeter() {
    const LevelMeterRecord& m = Meter;
    LevelReading reading = {kLevelMeterFloorDb, kLevelMeterFloorDb, false};
    if (m.rate == 0 || m.fed == 0) return reading;
    const RingRuns window = RunsOf(m.fed - m.window, m.window);
    const int peak = std::max(Magnitude(ExtremesOf(m.ring + window.at, window.head)),
                              Magnitude(ExtremesOf(m.ring, window.tail)));
    reading.peakDb = Decibels(double(peak) / kFullScale);
    reading.rmsDb = Decibels(std::sqrt(double(m.sumSquares) / double(m.window)) / kFullScale);
    reading.clipped = LevelMeterClipping();
    return reading;
}

bool LevelMeterClipping() {
    return Meter.fed < Meter.clipEnd;
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
