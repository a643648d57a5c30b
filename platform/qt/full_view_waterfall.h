// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's spectrogram: an image ring with one column per timeline column, scrolled as
// the analysis advances, with its time axis and colour legend.
#pragma once

#include "platform/qt/full_view_layout.h"

class QPainter;

// The part of the plot within `dirty` (device pixels), with the axes and legend when
// `labels`. The whole plot brings the ring up to the analysis first (unless frozen).
void DrawSpectrogram(QPainter& p, const FullLayout& l, const QRegion& dirty, bool labels);

// Brings the ring up to the analysis: the columns completed since, each drawn once at the
// ring's end, or every column anew when the ring is stale, resized or too far behind.
// Returns the columns added, or kRingRedrawn.
constexpr int kRingRedrawn = -1;
int AdvanceSpectrogramRing(const FullLayout& l);
