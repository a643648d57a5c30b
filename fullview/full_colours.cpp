// SPDX-License-Identifier: GPL-3.0-or-later
// Colour maps of the full view.
#include "fullview/full_colours.h"

#include <cmath>

#include "views/level_tables.h"

uint32_t FullColours[kFullColourCount];

namespace {

uint32_t Rgb(int r, int g, int b) {
    return 0xFF000000u | uint32_t(r << 16) | uint32_t(g << 8) | uint32_t(b);
}

// matplotlib's viridis at nine even steps; the map runs straight between them.
constexpr uint8_t kViridisSteps[9][3] = {
    {0x44, 0x01, 0x54}, {0x47, 0x2D, 0x7B}, {0x3B, 0x52, 0x8B},
    {0x2C, 0x72, 0x8E}, {0x21, 0x90, 0x8C}, {0x27, 0xAD, 0x81},
    {0x5D, 0xC8, 0x63}, {0xAA, 0xDC, 0x32}, {0xFD, 0xE7, 0x25},
};

uint32_t Viridis(int i) {
    const double position = double(i) * 8.0 / double(kFullColourCount - 1);  // 0 .. 8
    const int step = position < 7.0 ? int(position) : 7;
    const double within = position - double(step);
    int c[3];
    for (int k = 0; k < 3; k++) {
        const double a = kViridisSteps[step][k];
        const double b = kViridisSteps[step + 1][k];
        c[k] = int(std::lround(a + (b - a) * within));
    }
    return Rgb(c[0], c[1], c[2]);
}

// An RGB565 channel of `bits` bits widened to 8, its top bits repeated below.
int Widen(int value, int bits) {
    return (value << (8 - bits)) | (value >> (2 * bits - 8));
}

}  // namespace

void BuildFullColours(FullColourMapKind kind) {
    for (int i = 0; i < kFullColourCount; i++) {
        switch (kind) {
            case FullColourMapKind::Handheld: {
                const int c = ColourMap[i];
                FullColours[i] =
                    Rgb(Widen(c >> 11, 5), Widen((c >> 5) & 0x3F, 6), Widen(c & 0x1F, 5));
                break;
            }
            case FullColourMapKind::Viridis:
                FullColours[i] = Viridis(i);
                break;
            case FullColourMapKind::Grey:
                FullColours[i] = Rgb(i, i, i);
                break;
        }
    }
}

int FullColourIndex(float db, float lowDb, float highDb) {
    if (!(highDb > lowDb)) return 0;
    const float share = (db - lowDb) / (highDb - lowDb);
    if (!(share > 0.0f)) return 0;  // also NaN and an empty scale
    if (share >= 1.0f) return kFullColourCount - 1;
    return int(share * float(kFullColourCount - 1) + 0.5f);
}
