// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's waveform strip, readout and spectrum, with the scales the spectrogram shares.
#pragma once

#include "platform/qt/full_view_layout.h"

class QPainter;

void DrawStrip(QPainter& p, const FullLayout& l);
// The pitch with note and cents (unless the gauge shows them), and the pointer's reading; with
// `changedOnly` nothing when neither text has changed since the last time it was drawn.
void DrawReadout(QPainter& p, const FullLayout& l, bool changedOnly);
// The strongest peak of the shown spectrum in the band, marked with its frequency and level:
// above it in the spectrum, at the plot's right edge (the newest frame) in the spectrogram;
// and with Shift held over the spectrum, a ring round the peak the reading snapped to.
void DrawPeakMarks(QPainter& p, const FullLayout& l);
// The band's ticks: the grid in the spectrum's plot, and with `labels` the marks and labels.
void DrawFrequencyTicks(QPainter& p, const FullLayout& l, bool labels);
// The dB ticks along `along`: the grid across the spectrum's plot (labels left of it), or the
// labels right of the legend; labels only with `labels`.
void DrawDbScale(QPainter& p, const FullLayout& l, const QRect& along, bool labelsRight,
                 bool labels);
// The plot, with its scales when `labels`.
void DrawSpectrum(QPainter& p, const FullLayout& l, bool labels);
