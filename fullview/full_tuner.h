// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's tuner gauge without its drawing: the note nearest the pitch with its
// octave, the deviation from it that the needle shows over -50 .. +50 cents, the in-tune
// zone, and the needle's angle. Readings that jitter are smoothed while the estimator stays
// locked on one note: the mean of the latest few without their highest and lowest, then an
// exponential average; a new note, or a reading that is not locked, starts afresh. Main
// thread only.
#pragma once

constexpr float kTunerRangeCents = 50.0f;    // the gauge reads -50 .. +50 cents
constexpr float kTunerInTuneCents = 5.0f;    // the coloured zone around 0
constexpr float kTunerSweepDegrees = 45.0f;  // the needle's angle at either end of the range
constexpr int kTunerRecentReadings = 5;
constexpr int kTunerNoteTextSize = 8;  // "C#-1", "A#10", NUL included

struct FullTunerRecord {
    bool shown;   // a pitch is read (locked or not); else the gauge rests, grey
    bool locked;  // the estimator is locked on it
    float hz;     // the latest reading
    int note;     // the note read, in semitones above C-1 (A4 = 69)
    char noteText[kTunerNoteTextSize];  // "A4"
    float cents;                        // the needle's deviation from the note
    // The latest locked readings' deviations (the oldest first), and their smoothed value.
    float recent[kTunerRecentReadings];
    int recentCount;
    float smoothed;
};
extern FullTunerRecord FullTuner;

// No pitch: the gauge at rest.
void ResetFullTuner();
// One reading of the pitch: `hz` (not positive: none) with the readout's lock state
// (views/readout.h), notes named from A4 at `referenceHz`. Called once per block.
void UpdateFullTuner(float hz, int lockState, float referenceHz);

// The needle's angle in degrees, clockwise from upright, for a deviation of `cents`: the
// range's ends at -+kTunerSweepDegrees, beyond them held there.
float TunerNeedleDegrees(float cents);
// The angle of the needle of a reading: at rest (the low end) while it shows no pitch.
float TunerShownDegrees(const FullTunerRecord& tuner);
// The reading is locked within the in-tune zone.
bool TunerInTune(const FullTunerRecord& tuner);
