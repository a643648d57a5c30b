// SPDX-License-Identifier: GPL-3.0-or-later
// The input level meter (analysis/level_meter.h) drawn with Qt's painter: the figures on a
// line, a bar from -60 to 0 dBFS below them (the RMS solid, the peak as a lighter span and a
// line), and a red CLIP sign while it is held. The full view draws it beside its waveform
// strip; the window's bar shows it at its end while the handheld picture is shown and the
// bar has room for it. Main thread only.
#pragma once

class QPainter;
class QRect;

// The width the meter takes at a font of `fontPixels`; `compact` figures leave out the words
// ("-6.0 / -9.0 dBFS": peak, then RMS).
int LevelMeterWidth(int fontPixels, bool compact);
// The meter's newest reading in `area`, its figures at a font of `fontPixels`.
void DrawLevelMeter(QPainter& p, const QRect& area, int fontPixels, bool compact);

// The meter at the end of the bars made from now on (a set of the window's hooks).
void AttachBarLevelMeter();
// The meter took a block: the bar's meter shows the new reading while `handheldShown` (its
// bar once a span of samples, its figures every third span, its clip sign at once), and
// nothing otherwise (the full view draws its own).
void ShowBarLevelMeter(bool handheldShown);
