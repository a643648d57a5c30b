// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's picture: the window's own device pixels filled with the waveform strip,
// the readout (pitch, note with octave, the pointer's reading) and the spectrum or the
// spectrogram of the full view's analysis (fullview/), with axes, grid and colour legend,
// drawn with Qt's painter, the strongest peak marked, and the input level meter beside the
// strip. The wheel zooms the frequency axis around the pointer, a drag
// pans it (on the dB scale: moves the scale), a double click or Home shows the whole band,
// + and - zoom around the middle; Shift snaps the pointer's reading to the peak near it. Main
// thread only.
//
// The program feeds the analysis, then calls FullViewFramesAnalysed; the widget repaints
// only when something it shows has changed.
#pragma once

#include "fullview/full_axis.h"
#include "fullview/full_tuner.h"

class QImage;
class QRect;
class QSize;
class QWidget;

// The full view's widget, a child of `parent`; there is at most one (a second call returns
// the first, moved to the new parent).
QWidget* CreateFullView(QWidget* parent);
// The widget, or null before CreateFullView.
QWidget* FullViewWidget();

// Which plot the picture shows (the handheld views' switch drives it).
void SetFullViewSpectrogram(bool spectrogram);
// The pitch the readout shows (0: none), whether it is locked, and the tuner gauge's
// reading; ignored while the picture is frozen.
void SetFullViewPitch(float hz, bool locked, const FullTunerRecord& tuner);
// The analysis produced frames, or was configured anew: repaint what they change.
void FullViewFramesAnalysed();
// The input level meter took a block: its figures repaint, even while the picture is frozen.
void FullViewLevelMeasured();
// FullViewOptions changed (colours, axis, dB scale, analysis): draw everything anew.
void FullViewOptionsChanged();
// Freezes the picture (the pause button) or lets it follow the analysis again.
void SetFullViewFrozen(bool frozen);

// The picture at `size` device pixels, as the widget draws it (for snapshots).
QImage RenderFullView(const QSize& size);
// The pointer's reading on the spectrum as last drawn: its frequency and level (the spectrum's
// level there, or with Shift held the peak's near it); false when none was shown.
bool FullViewPointerReading(float* hz, float* levelDb);
// The band shown now (its positions are the last drawn plot's), and where the plot lies in a
// picture of `size` device pixels at device pixel ratio 1.
FullAxis FullViewBand();
QRect FullViewPlot(const QSize& size);
