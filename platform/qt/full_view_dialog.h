// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's own options dialog.
#pragma once

class QWidget;

// "View Options": FFT size, window, overlap, rate, history, colour map, axis, dB range,
// averaging, peak hold, fill, the reference pitch (of both pictures), the tuner gauge. Writes
// FullViewOptions (and a changed reference pitch, ChooseReferencePitch) and returns true when
// the user accepts; the caller then configures the analysis (and reopens the capture when the
// rate changed), calls FullViewOptionsChanged and saves the choices.
bool RunFullViewOptionsDialog(QWidget* parent);
