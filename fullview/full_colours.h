// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's colour maps: 256 opaque 32-bit colours (0xFFRRGGBB, the layout of a
// QImage::Format_RGB32 pixel) from the lowest level to the highest.
#pragma once

#include <cstdint>

enum class FullColourMapKind : uint8_t {
    Handheld,  // the handheld picture's black, blue, green, yellow, red
    Viridis,   // perceptually even: dark violet through teal to yellow
    Grey,      // black to white
};

constexpr int kFullColourCount = 256;
extern uint32_t FullColours[kFullColourCount];

// Fills FullColours. Handheld widens the handheld picture's ColourMap (RGB565, built at
// start-up) to 8 bits a channel, so both pictures show a level in the same colour.
void BuildFullColours(FullColourMapKind kind);

// The colour index of a level on a scale from lowDb (0) to highDb (255); below and above
// the scale are its ends, NaN is 0.
int FullColourIndex(float db, float lowDb, float highDb);
