// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's tuner gauge, drawn from FullHost.tuner (fullview/full_tuner.h): the note
// with its octave, large, the frequency and the deviation in cents beside a needle over
// -50 .. +50 cents with its in-tune zone; grey, the needle at rest, while there is no pitch.
#pragma once

#include "platform/qt/full_view_layout.h"

class QPainter;

void DrawGauge(QPainter& p, const FullLayout& l);
