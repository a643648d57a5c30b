// SPDX-License-Identifier: GPL-3.0-or-later
// Frequency axis arithmetic, ticks and the position-to-bin map of the full view.
#include "fullview/full_axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "fullview/full_peaks.h"

FullPositionMapRecord FullPositionMap = {};

namespace {

// The axis in its own unit, in which positions are equally spaced: Hz, or ln(Hz) on a log axis.
double Unit(const FullAxis& axis, double hz) {
    return axis.log ? std::log(hz) : hz;
}
double Hertz(const FullAxis& axis, double unit) {
    return axis.log ? std::exp(unit) : unit;
}
double WholeLowHz(const FullAxis& axis) {
    return axis.log ? kFullLogLowestHz : 0.0;
}

// The band [lowUnit, highUnit] moved inside the whole band, or the whole band when wider.
FullAxis Placed(const FullAxis& axis, double lowUnit, double highUnit) {
    const double minUnit = Unit(axis, WholeLowHz(axis));
    const double maxUnit = Unit(axis, axis.nyquistHz);
    FullAxis placed = axis;
    if (highUnit - lowUnit >= maxUnit - minUnit) {
        lowUnit = minUnit;
        highUnit = maxUnit;
    } else if (lowUnit < minUnit) {
        highUnit += minUnit - lowUnit;
        lowUnit = minUnit;
    } else if (highUnit > maxUnit) {
        lowUnit -= highUnit - maxUnit;
        highUnit = maxUnit;
    }
    placed.lowHz = float(Hertz(axis, lowUnit));
    placed.highHz = float(Hertz(axis, highUnit));
    // Rounding at the ends must not step outside the whole band.
    placed.lowHz = std::max(placed.lowHz, float(WholeLowHz(axis)));
    placed.highHz = std::min(placed.highHz, axis.nyquistHz);
    return placed;
}

// The smallest of 1, 2, 5 times a power of ten that is at least `least`.
double NiceStep(double least) {
    double step = std::pow(10.0, std::floor(std::log10(least)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (step * m >= least) return step * m;
    }
    return step * 10.0;
}

int Decimals(double resolution) {
    if (!(resolution > 0.0) || resolution >= 1.0) return 0;
    return std::min(4, int(std::ceil(-std::log10(resolution) - 1e-9)));
}

// Appends a tick labelled with the decimals that `resolution` (Hz) needs.
bool AddTick(const FullAxis& axis, FullTickList* list, double value, double resolution) {
    if (list->count >= kFullMaxTicks) return false;
    FullTick& tick = list->ticks[list->count++];
    tick.value = float(value);
    tick.position = FullAxisPosition(axis, tick.value);
    FormatFullFrequency(tick.value, float(resolution), tick.label, kFullLabelSize);
    return true;
}

// Multiples of `step` from `low` to `high`, counted in whole steps so that rounding never
// drops or adds an end.
template <typename Add>
void Multiples(double low, double high, double step, Add add) {
    const double first = std::ceil(low / step - 1e-9);
    const double last = std::floor(high / step + 1e-9);
    for (double i = first; i <= last; i++) {
        if (!add(std::clamp(i * step, low, high))) return;
    }
}

// Ticks at every multiple of step inside the axis's band.
void StepTicks(const FullAxis& axis, double step, FullTickList* list) {
    list->count = 0;
    const double resolution = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    Multiples(axis.lowHz, axis.highHz, step,
              [&](double v) { return AddTick(axis, list, v, resolution); });
}

// m x 10^k for each decade and each mantissa inside the band.
void DecadeTicks(const FullAxis& axis, const int* mantissas, int count, FullTickList* list) {
    list->count = 0;
    const int first = int(std::floor(std::log10(double(axis.lowHz))));
    const int last = int(std::ceil(std::log10(double(axis.highHz))));
    for (int k = first; k <= last; k++) {
        for (int i = 0; i < count; i++) {
            const double v = mantissas[i] * std::pow(10.0, k);
            if (v < axis.lowHz || v > axis.highHz) continue;
            if (!AddTick(axis, list, v, std::pow(10.0, k))) return;
        }
    }
}

float SmallestGap(const FullTickList& list) {
    float gap = INFINITY;
    for (int i = 1; i < list.count; i++)
        gap = std::min(gap, list.ticks[i].position - list.ticks[i - 1].position);
    return gap;
}

// Keeps each tick at least minSpacing from the one kept before it.
void Thin(FullTickList* list, float minSpacing) {
    int kept = 0;
    for (int i = 0; i < list->count; i++) {
        if (kept > 0 && list->ticks[i].position - list->ticks[kept - 1].position < minSpacing)
            continue;
        list->ticks[kept++] = list->ticks[i];
    }
    list->count = kept;
}

void LogTicks(const FullAxis& axis, float minSpacing, FullTickList* list) {
    static const int kAll[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    static const int kOneTwoFive[] = {1, 2, 5};
    static const int kOne[] = {1};
    DecadeTicks(axis, kAll, 9, list);
    if (list->count >= 2 && SmallestGap(*list) >= minSpacing) return;
    DecadeTicks(axis, kOneTwoFive, 3, list);
    if (list->count >= 2 && SmallestGap(*list) >= minSpacing) return;
    DecadeTicks(axis, kOne, 1, list);
    if (list->count >= 2) {
        Thin(list, minSpacing);
        return;
    }
    // A narrow band: nearly linear, spaced for its top where the pixels are widest in Hz.
    const double hzPerPixelAtTop =
        axis.highHz - FullAxisFrequency(axis, float(axis.positions) - 1.0f);
    StepTicks(axis, NiceStep(hzPerPixelAtTop * minSpacing), list);
}

}  // namespace

FullAxis WholeFullAxis(int positions, bool log, float nyquistHz) {
    FullAxis axis = {std::clamp(positions, 1, kFullMaxPositions), 0.0f, nyquistHz, log, nyquistHz};
    axis.lowHz = float(WholeLowHz(axis));
    return axis;
}

FullAxis ResizedFullAxis(const FullAxis& axis, int positions) {
    FullAxis resized = axis;
    resized.positions = std::clamp(positions, 1, kFullMaxPositions);
    return resized;
}

FullAxis RescaledFullAxis(const FullAxis& axis, bool log) {
    const FullAxis whole = WholeFullAxis(axis.positions, axis.log, axis.nyquistHz);
    if (axis.lowHz == whole.lowHz && axis.highHz == whole.highHz)
        return WholeFullAxis(axis.positions, log, axis.nyquistHz);
    FullAxis rescaled = axis;
    rescaled.log = log;
    const double low = std::max(double(axis.lowHz), WholeLowHz(rescaled));
    const double high = std::max(double(axis.highHz), low + kFullMinSpanHz);
    return Placed(rescaled, Unit(rescaled, low), Unit(rescaled, high));
}

float FullAxisFrequency(const FullAxis& axis, float position) {
    const double low = Unit(axis, axis.lowHz);
    const double high = Unit(axis, axis.highHz);
    return float(Hertz(axis, low + (high - low) * double(position) / double(axis.positions)));
}

float FullAxisPosition(const FullAxis& axis, float hz) {
    const double low = Unit(axis, axis.lowHz);
    const double high = Unit(axis, axis.highHz);
    if (axis.log && !(hz > 0.0f)) return -INFINITY;
    return float((Unit(axis, hz) - low) / (high - low) * double(axis.positions));
}

FullAxis ZoomFullAxis(const FullAxis& axis, float position, float factor) {
    if (!std::isfinite(factor) || !(factor > 0.0f) || !std::isfinite(position)) return axis;
    const double low = Unit(axis, axis.lowHz);
    const double high = Unit(axis, axis.highHz);
    const double share = std::clamp(double(position) / double(axis.positions), 0.0, 1.0);
    const double fixed = low + (high - low) * share;
    const double span = (high - low) / double(factor);
    const double newLow = fixed - span * share;
    if (Hertz(axis, newLow + span) - Hertz(axis, newLow) < kFullMinSpanHz) return axis;
    return Placed(axis, newLow, newLow + span);
}

FullAxis PanFullAxis(const FullAxis& axis, float pixels) {
    if (!std::isfinite(pixels)) return axis;
    const double low = Unit(axis, axis.lowHz);
    const double high = Unit(axis, axis.highHz);
    const double move = double(pixels) * (high - low) / double(axis.positions);
    return Placed(axis, low + move, high + move);
}

void BuildFullFrequencyTicks(const FullAxis& axis, float minSpacing, FullTickList* ticks) {
    minSpacing = std::max(minSpacing, 1.0f);
    if (axis.log) {
        LogTicks(axis, minSpacing, ticks);
    } else {
        const double hzPerPixel = double(axis.highHz - axis.lowHz) / double(axis.positions);
        StepTicks(axis, NiceStep(hzPerPixel * minSpacing), ticks);
    }
}

void BuildFullDbTicks(float lowDb, float highDb, int positions, float minSpacing,
                      FullTickList* ticks) {
    ticks->count = 0;
    const double range = double(highDb) - double(lowDb);
    if (!(range > 0.0) || positions < 1) return;
    const double step = NiceStep(range / positions * std::max(minSpacing, 1.0f));
    const int decimals = Decimals(step);
    Multiples(lowDb, highDb, step, [&](double v) {
        if (ticks->count >= kFullMaxTicks) return false;
        FullTick& tick = ticks->ticks[ticks->count++];
        tick.value = float(v);
        tick.position = float((v - lowDb) / range * positions);
        std::snprintf(tick.label, kFullLabelSize, "%.*f dB", decimals,
                      std::fabs(v) < step * 1e-6 ? 0.0 : v);
        return true;
    });
}

int FormatFullFrequency(float hz, float resolutionHz, char* text, int capacity) {
    if (capacity <= 0) return 0;
    const bool kilo = std::fabs(hz) >= 1000.0f;
    const double value = kilo ? double(hz) / 1000.0 : double(hz);
    const int decimals = Decimals(kilo ? double(resolutionHz) / 1000.0 : double(resolutionHz));
    char number[32];
    std::snprintf(number, sizeof number, "%.*f", decimals, value);
    // Trailing zeros say nothing: "1.50" is "1.5", "2.0" is "2".
    char* end = number + std::strlen(number);
    if (decimals > 0) {
        while (end[-1] == '0')
            *--end = '\0';
        if (end[-1] == '.') *--end = '\0';
    }
    if (std::strcmp(number, "-0") == 0) std::strcpy(number, "0");
    const int written = std::snprintf(text, size_t(capacity), "%s %s", number, kilo ? "kHz" : "Hz");
    return std::min(written, capacity - 1);
}

void BuildFullPositionMap(const FullAxis& axis, float binHz, int binCount, float peakExponent) {
    FullPositionMapRecord& map = FullPositionMap;
    map.peakExponent = peakExponent > 0.0f ? peakExponent : 1.0f;
    map.positions = std::clamp(axis.positions, 1, kFullMaxPositions);
    map.binCount = binCount;
    const double lastBin = double(binCount - 1);
    for (int p = 0; p < map.positions; p++) {
        const double low =
            std::clamp(double(FullAxisFrequency(axis, float(p))) / binHz, 0.0, lastBin + 1.0);
        const double high =
            std::clamp(double(FullAxisFrequency(axis, float(p + 1))) / binHz, 0.0, lastBin + 1.0);
        const double middle = double(FullAxisFrequency(axis, float(p) + 0.5f)) / binHz;
        map.firstBin[p] = int(std::ceil(low));
        map.lastBin[p] = std::min(int(std::ceil(high)) - 1, binCount - 1);
        map.centreBin[p] = float(std::clamp(middle, 0.0, lastBin));
    }
}

void FullPositionLevels(const float* binDb, float* positionDb) {
    const FullPositionMapRecord& map = FullPositionMap;
    for (int p = 0; p < map.positions; p++) {
        const int first = map.firstBin[p];
        const int last = map.lastBin[p];
        if (last < first) {
            positionDb[p] = FullLevelAtBin(binDb, map.binCount, map.centreBin[p], map.peakExponent);
            continue;
        }
        float level = binDb[first];
        for (int k = first + 1; k <= last; k++)
            level = std::max(level, binDb[k]);
        positionDb[p] = level;
    }
}
