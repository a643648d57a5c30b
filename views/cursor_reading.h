// SPDX-License-Identifier: GPL-3.0-or-later
// What a point of the view area stands for, in the program's own units: the frequency that
// the column (spectrum) or row (spectrogram) shows, after the same column map that placed
// the traces and the axis ticks; the level of the row on the dB scale (spectrum), or how
// long ago the strip under it was drawn (spectrogram). For the pointer's readout beside the
// picture; nothing here draws.
#pragma once

struct ViewReading {
    float frequency;   // Hz
    float levelDb;     // spectrum: the row's level on the dB scale
    float secondsAgo;  // spectrogram: age of the strip under the point, in whole blocks
};

// Reads the view point (x, y) (view-area pixels: 0 .. 239, 0 .. 267) of `view`. False, with
// *reading untouched, when the point is not on the plot: spectrum columns 0 .. 239 and
// spectrogram columns 0 .. 201, both on rows 86 .. 255.
bool ReadViewPoint(int x, int y, int view, ViewReading* reading);

// "440 Hz  62 dB" (spectrum) or "1.25 kHz  2.3 s ago" (spectrogram), cut to `capacity`.
// Returns the characters written (0 when capacity is 0).
int FormatViewReading(const ViewReading& reading, int view, char* text, int capacity);
