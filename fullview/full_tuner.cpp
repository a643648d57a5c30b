// SPDX-License-Identifier: GPL-3.0-or-later
// The tuner gauge's reading and geometry.
#include "fullview/full_tuner.h"

#include <algorithm>
#include <cmath>

#include "fullview/full_readout.h"
#include "views/readout.h"

FullTunerRecord FullTuner;

namespace {

// Share of a new locked reading in the needle's average: with readings about 47 times a
// second (1024-sample blocks at 48000 Hz) the needle settles within a tenth of a second.
constexpr float kTunerSmoothing = 0.3f;

float Median(const float* values, int count) {
    // Sorted by insertion: GCC 12 sees std::sort read past so short an array.
    float sorted[kTunerMedianReadings] = {};
    for (int i = 0; i < count; i++) {
        int j = i;
        for (; j > 0 && sorted[j - 1] > values[i]; j--)
            sorted[j] = sorted[j - 1];
        sorted[j] = values[i];
    }
    return count % 2 == 1 ? sorted[count / 2] : 0.5f * (sorted[count / 2 - 1] + sorted[count / 2]);
}

}  // namespace

void ResetFullTuner() {
    FullTuner = {};
}

void UpdateFullTuner(float hz, int lockState, float referenceHz) {
    FullTunerRecord& t = FullTuner;
    int note = -1;
    const float cents = FullNearestNote(hz, referenceHz, &note);
    if (lockState == kPitchLost || note < 0) {
        ResetFullTuner();
        return;
    }
    const bool sameNote = t.shown && t.locked && note == t.note;
    t.shown = true;
    t.hz = hz;
    t.locked = lockState == kPitchLocked;
    t.note = note;
    FullNoteText(note, t.noteText, sizeof t.noteText);
    if (!t.locked) {
        t.recentCount = 0;
        t.cents = cents;
        return;
    }
    if (!sameNote) t.recentCount = 0;
    if (t.recentCount == kTunerMedianReadings) {
        std::copy(t.recent + 1, t.recent + kTunerMedianReadings, t.recent);
        t.recentCount--;
    }
    t.recent[t.recentCount++] = cents;
    const float median = Median(t.recent, t.recentCount);
    t.smoothed = t.recentCount == 1 ? median : t.smoothed + kTunerSmoothing * (median - t.smoothed);
    t.cents = t.smoothed;
}

float TunerNeedleDegrees(float cents) {
    if (std::isnan(cents)) return -kTunerSweepDegrees;
    const float share = std::clamp(cents / kTunerRangeCents, -1.0f, 1.0f);
    return share * kTunerSweepDegrees;
}

float TunerShownDegrees(const FullTunerRecord& tuner) {
    return tuner.shown ? TunerNeedleDegrees(tuner.cents) : -kTunerSweepDegrees;
}

bool TunerInTune(const FullTunerRecord& tuner) {
    return tuner.shown && tuner.locked && std::fabs(tuner.cents) <= kTunerInTuneCents;
}
