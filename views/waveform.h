// SPDX-License-Identifier: GPL-3.0-or-later
// Waveform strip: a triggered oscilloscope of about 11 ms of every block in rows 0 .. 58,
// never cleared (the block driver fades it), scaled so that loud signals are compressed.
#pragma once

#include <cstdint>

#include "raster/surface.h"

// Shortest block the strip reads: statistics up to sample length/2, the trace up to
// length/2 + 238.
constexpr int kWaveformMinBlock = 478;

// Vertical divisor for a block whose overall range (largest minus smallest sample) is
// `range`: 132 below 660, then growing logarithmically (263 at 660, 1312 at 65535).
int WaveformDivisor(int range);

// Draws the trace of one block (`length` samples at `sampleRate`: 11025 draws 120 points two
// columns apart, any other rate 240 points). Nothing is drawn when `skip` is set, when the
// block is null or shorter than kWaveformMinBlock.
void DrawWaveformStrip(const int16_t* samples, int length, int sampleRate, bool skip);
// The trace with tracePen.
void DrawWaveformTrace(const PixelPoint* points, int count);
