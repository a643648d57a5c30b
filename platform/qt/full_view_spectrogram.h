// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's spectrogram: an image ring with one column per timeline column, scrolled as
// the analysis advances, with its time axis and colour legend.
#pragma once

#include "platform/qt/full_view_layout.h"

class QPainter;

// The plot, with its axes and legend when `labels`.
void DrawSpectrogram(QPainter& p, const FullLayout& l, bool labels);
