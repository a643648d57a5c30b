// SPDX-License-Identifier: GPL-3.0-or-later
// The level tables: power to level (LevelTable) and level to colour (ColourMap), and the
// legend bar.
#include "views/level_tables.h"

#include <cfloat>
#include <cmath>

#include "raster/surface.h"
#include "raster/vector_loops.h"

float LevelTable[kLevelCount];
uint16_t ColourMap[kColourCount];

namespace {

constexpr int kRedMax = 31;  // RGB565 channel maxima
constexpr int kGreenMax = 63;
constexpr int kBlueMax = 31;

// A channel value kept inside its bits, so a share that rounds a hair above 1 cannot spill
// into the neighbouring channel.
int Channel(int value, int max) {
    return value < 0 ? 0 : (value > max ? max : value);
}

}  // namespace

void BuildLevelTable(float top, float bottom, int count) {
    if (std::isnan(top) || std::isnan(bottom) || count < 1) return;
    if (count > kLevelCount) count = kLevelCount;
    top = std::fmin(std::fmax(top, FLT_MIN), FLT_MAX);
    bottom = std::fmin(std::fmax(bottom, FLT_MIN), FLT_MAX);
    const float w = float(-std::log(double(bottom)));
    const float r = float((std::log(double(top)) + double(w)) / double(count));
    for (int i = 0; i < count; i++) {
        LevelTable[i] = float(std::exp(double(float(i) * r - w)));
    }
}

int FindLevel(float x) {
    int b = 256;
    for (int n = 7; n >= 0; n--) {
        if (x > LevelTable[b / 2]) {
            b += 1 << n;
        } else {
            b -= 1 << n;
        }
    }
    return b / 2;
}

QUILLO_VECTOR_LOOP void FindLevels(const float* values, int* levels, int count) {
    if (count > kViewPositions) count = kViewPositions;
    int b[kViewPositions];
    for (int i = 0; i < count; i++)
        b[i] = 256;
    for (int n = 7; n >= 0; n--) {
        for (int i = 0; i < count; i++) {
            const int above = values[i] > LevelTable[b[i] / 2];
            b[i] += (above << (n + 1)) - (1 << n);
        }
    }
    for (int i = 0; i < count; i++)
        levels[i] = b[i] / 2;
}

bool BuildColourMap(int count, float yellowShare, float greenShare, float blueShare) {
    const float a = yellowShare;
    const float b = greenShare;
    const float c = blueShare;
    if (count < 1 || count > kColourCount) return false;
    if (!(a > 0.0f && b > 0.0f && c > 0.0f)) return false;  // also rejects NaN
    const float n = float(count);
    const float redLength = (1.0f - a - b - c) * n;
    if (!(redLength > 0.0f)) return false;
    const int nA = int(n * a);
    const int nB = int(n * b);
    const int nC = int(n * c);
    if (nA + nB + nC > count - 1) return false;

    for (int i = 0; i < count; i++)
        ColourMap[i] = 0;

    // Yellow to red: full red, green falling with the square root.
    const int redStart = nA + nB + nC;
    const float redStep = 1.0f / redLength;
    for (int r = 0; r <= count - 1 - redStart; r++) {
        const float x = float(r) * redStep;
        const int g = int((1.0 - std::sqrt(double(x))) * 64.0);
        ColourMap[redStart + r] = uint16_t(0xF800 | ((g & 0x3F) << 5));
    }
    // Green to yellow: full green, red rising with the square root.
    const float yellowStep = 1.0f / (n * a);
    for (int i = 0; i <= nA; i++) {
        const float x = float(i) * yellowStep;
        const int red = Channel(int(std::sqrt(double(x)) * 32.0), kRedMax);
        ColourMap[nB + nC + i] = uint16_t((red << 11) | 0x07E0);
    }
    // Blue to green.
    const float greenStep = 1.0f / (n * b);
    for (int j = 0; j <= nB; j++) {
        const float x = float(j) * greenStep;
        const int green = Channel(int(std::sqrt(double(x)) * 64.0), kGreenMax);
        const int blue = Channel(int((1.0f - x) * 32.0f), kBlueMax);
        ColourMap[nC + j] = uint16_t(blue | (green << 5));
    }
    // Black to blue.
    const float blueStep = 1.0f / (n * c);
    for (int k = 0; k <= nC; k++) {
        ColourMap[k] = uint16_t(Channel(int(float(k) * blueStep * 32.0f), kBlueMax));
    }
    return true;
}

void PaintLevelLegend() {
    PaintColourBar(ColourMap, kColourCount);
}
