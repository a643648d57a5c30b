// SPDX-License-Identifier: GPL-3.0-or-later
// The tuner gauge's reading and geometry.
#include "fullview/full_tuner.h"

#include <algorithm>
#include <cmath>

#include "fullview/full_readout.h"
#include "views/readout.h"

FullTunerRecord FullTuner;

namespace {

// Share of a new locked reading in the needle's average: a time constant of about three
// readings, 60 ms with 1024-sample blocks at 48000 Hz.
constexpr float kTunerSmoothing = 0.3f;

// The mean of the values without the highest and the lowest (of three or more): a reading
// far off now and then is dropped, jitter is averaged.
float TrimmedMean(const float* values, int count) {
    float sum = 0.0f, lowest = values[0], highest = values[0];
    for (int i = 0; i < count; i++) {
        sum += values[i];
        lowest = std::min(lowest, values[i]);
        highest = std::max(highest, values[i]);
    }
    if (count < 3) return sum / float(count);
    return (sum - lowest - highest) / float(count - 2);
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
    if (t.recentCount == kTunerRecentReadings) {
        std::copy(t.recent + 1, t.recent + kTunerRecentReadings, t.recent);
        t.recentCount--;
    }
    t.recent[t.recentCount++] = cents;
    const float mean = TrimmedMean(t.recent, t.recentCount);
    t.smoothed = t.recentCount == 1 ? mean : t.smoothed + kTunerSmoothing * (mean - t.smoothed);
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
