// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrogram columns of the full view from its history.
#include "fullview/full_columns.h"

#include <algorithm>

#include "fullview/full_analysis.h"
#include "fullview/full_axis.h"

namespace {

// Byte levels of a column's frames, bin by bin the highest, then in dB.
struct ColumnScratch {
    uint8_t highest[kFullMaxBins];
    float db[kFullMaxBins];
};
ColumnScratch Scratch;

}  // namespace

FullTimeline MakeFullTimeline(int width) {
    const FullSpectrumRecord& s = FullSpectrum;
    FullTimeline timeline;
    timeline.width = std::max(width, 1);
    timeline.frameUnits = std::max(1LL, (long long)s.config.historySeconds * s.config.sampleRate);
    timeline.columnUnits = std::max(1LL, (long long)timeline.width * s.hop);
    return timeline;
}

long long FullTimelineColumns(const FullTimeline& t, long long frames) {
    if (frames <= 0 || t.frameUnits <= 0 || t.columnUnits <= 0) return 0;
    if (t.frameUnits >= t.columnUnits) return ((frames + 1) * t.columnUnits - 1) / t.frameUnits;
    return (frames * t.columnUnits - 1) / t.frameUnits + 1;
}

void FullTimelineFrames(const FullTimeline& t, long long column, long long* first,
                        long long* last) {
    if (t.frameUnits <= 0 || t.columnUnits <= 0) {
        *first = *last = -1;  // no frame is ever held at -1
        return;
    }
    *first = column * t.frameUnits / t.columnUnits;
    *last = std::max(*first, (column + 1) * t.frameUnits / t.columnUnits - 1);
}

bool FullSpectrogramColumn(const FullTimeline& timeline, long long column, float* positionDb) {
    long long first, last;
    FullTimelineFrames(timeline, column, &first, &last);
    const int bins = FullHistory.binCount;
    const uint8_t* frame = FullHistoryFrame(first);
    if (!frame || !FullHistoryFrame(last)) return false;
    std::copy_n(frame, bins, Scratch.highest);
    for (long long f = first + 1; f <= last; f++) {
        frame = FullHistoryFrame(f);
        for (int k = 0; k < bins; k++)
            Scratch.highest[k] = std::max(Scratch.highest[k], frame[k]);
    }
    for (int k = 0; k < bins; k++)
        Scratch.db[k] = FullHistoryDb(Scratch.highest[k]);
    FullPositionLevels(Scratch.db, positionDb);
    return true;
}

double FullColumnAge(const FullTimeline& timeline, int x) {
    const long long frames = FullSpectrum.frames;
    const long long column = FullTimelineColumns(timeline, frames) - timeline.width + x;
    if (column < 0 || x < 0 || x >= timeline.width) return -1.0;
    long long first, last;
    FullTimelineFrames(timeline, column, &first, &last);
    return double(frames - 1 - last) * FullFrameSeconds();
}
