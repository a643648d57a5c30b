// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's spectrogram in time: pixel columns counted from the configuration
// (p = 0, 1, ...), each showing the history frames that fall into it. A column spans
// historySeconds / width seconds, so the newest `width` columns show the whole history,
// and a column is complete once its last frame is analysed:
//
//   frames   |0 1 2|3 4 5|6 7 8|9 ...   (3 frames a column: the highest level of each bin)
//   columns  |  0  |  1  |  2  |        (or one frame over several columns when wider)
#pragma once

struct FullTimeline {
    long long frameUnits;   // historySeconds * sampleRate: frames per column is
    long long columnUnits;  // frameUnits / columnUnits, with columnUnits = width * hop
    int width;              // columns on screen
};

// The timeline of the analysis as configured, for `width` columns (at least 1).
FullTimeline MakeFullTimeline(int width);

// Columns complete after `frames` frames.
long long FullTimelineColumns(const FullTimeline& timeline, long long frames);
// The frames column `column` shows (first <= last).
void FullTimelineFrames(const FullTimeline& timeline, long long column, long long* first,
                        long long* last);

// The level at every position of FullPositionMap for a column: the highest of its frames,
// bin by bin. False, with positionDb untouched, when one of its frames is not held.
bool FullSpectrogramColumn(const FullTimeline& timeline, long long column, float* positionDb);

// Seconds since the newest frame of screen column x (0 = left, width - 1 = newest) was
// analysed, with FullSpectrum.frames frames done; negative when the column is still empty.
double FullColumnAge(const FullTimeline& timeline, int x);
