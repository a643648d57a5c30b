// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's waveform strip, readout and spectrum, with the scales the spectrogram shares.
#pragma once

#include "platform/qt/full_view_layout.h"

class QPainter;

void DrawStrip(QPainter& p, const FullLayout& l);
// The pitch with note and cents (unless the gauge shows them), and the pointer's reading: on
// the spectrum, the trace's level at the pointer's frequency, or with Shift held the peak near
// it, ringed in the plot.
void DrawReadout(QPainter& p, const FullLayout& l);
// The strongest peak of the shown spectrum in the band, marked with its frequency and level:
// above it in the spectrum, at the plot's right edge (the newest frame) in the spectrogram.
void DrawStrongestPeak(QPainter& p, const FullLayout& l);
// The band's ticks: the grid in the spectrum's plot, and with `labels` the marks and labels.
void DrawFrequencyTicks(QPainter& p, const FullLayout& l, bool labels);
// The dB ticks along `along`: the grid across the spectrum's plot (labels left of it), or the
// labels right of the legend; labels only with `labels`.
void DrawDbScale(QPainter& p, const FullLayout& l, const QRect& along, bool labelsRight,
                 bool labels);
// The plot, with its scales when `labels`.
void DrawSpectrum(QPainter& p, const FullLayout& l, bool labels);
