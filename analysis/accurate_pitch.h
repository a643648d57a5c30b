// SPDX-License-Identifier: GPL-3.0-or-later
// The accurate pitch estimator, an alternative to peak picking and its tracker: a
// normalised square-difference function (after McLeod) over the newest samples, its first
// strong maximum refined by parabolic interpolation, the choice of period checked against
// its sub-multiples, and a follower that locks only on a clear, repeated period. Plain
// procedures over the records below; nothing allocates and nothing throws.
//
// Per block the caller cuts the newest windowLength + maxLag samples (oldest first) and runs
//   TrackAccuratePitch(EstimateAccuratePitch(segment, windowLength, maxLag, sampleRate),
//                      secondsSincePreviousSegment);
// then reads AccuratePitchTracker.
#pragma once

constexpr int kAccuratePitchMaxWindow = 1024;  // samples the difference function sums over
constexpr int kAccuratePitchMaxLag = 512;      // longest period searched, in samples
constexpr int kAccuratePitchMaxSegment = kAccuratePitchMaxWindow + kAccuratePitchMaxLag;

// One segment's periodicity; (0, 0) when it has none worth reporting.
struct PitchCandidate {
    float frequency;  // Hz
    float clarity;    // normalised correlation at the chosen period: 1 for a perfect repeat
};

// Normalised square-difference function of the last call, entries 0 .. maxLag; kept for
// tests and tools that want to look at it.
extern float AccuratePitchNsdf[kAccuratePitchMaxLag + 1];

// Estimates the period of `segment` (windowLength + maxLag samples in any unit, oldest
// first). Periods between sampleRate / 2200 samples and maxLag - 1 are searched. (0, 0)
// for silence (below about -70 dBFS in 16-bit units), for no clear period, and unless the
// window is twice the lag range and the lag range a power of two from 4 to
// kAccuratePitchMaxLag (1024 + 512 and 512 + 256 are the pipeline's sizes).
PitchCandidate EstimateAccuratePitch(const float* segment, int windowLength, int maxLag,
                                     float sampleRate);

// Clear estimates that the tracker keeps of a run (enough for kHeldNoteSeconds at the
// shortest spacing, 1024 samples at 96000 Hz).
constexpr int kAccuratePitchRunMax = 32;

// Follows the estimates of successive segments.
struct AccuratePitchTrackerRecord {
    float pitch;      // Hz: the reading, the held note's centre or the latest clear estimate;
                      // 0 until the first
    bool locked;      // the latest estimate is clear and confirmed
    float lastClear;  // Hz: the previous segment's clear estimate, 0 when it had none
    int agreeing;     // clear estimates in a row that agreed with the one before, up to 2
    int missCount;    // segments without a clear estimate since the last one
    // The run: clear estimates, each within 60 cents of the one before, with at most one
    // stray estimate between two of them.
    double runOctaves[kAccuratePitchRunMax];  // log2 of each estimate in Hz, a ring filled
                                              // from index 0
    float runAges[kAccuratePitchRunMax];      // seconds since each came
    int runCount;      // estimates in the ring (indices 0 .. runCount - 1), up to the maximum
    int runNewest;     // the newest one's index
    float runSeconds;  // seconds since the run's first estimate, up to kHeldNoteSeconds
    int runStrays;     // estimates since the newest that left it
};
extern AccuratePitchTrackerRecord AccuratePitchTracker;

// Clarity from which an estimate counts as clear (a period is present), from which one
// confirmation locks, and from which a single estimate locks.
constexpr float kClearPitchClarity = 0.5f;
constexpr float kConfirmedLockClarity = 0.8f;
constexpr float kSureLockClarity = 0.93f;

// A run this long whose estimates scatter less than kHeldNoteCents (root mean square about
// their mean) is a held note, perhaps with a shallow vibrato: it reads as their mean.
constexpr float kHeldNoteSeconds = 0.25f;
constexpr float kHeldNoteCents = 13.0f;

// Feeds one estimate, `seconds` after the previous one. A clear one becomes the pitch, or
// the run's centre while the run is a held note. It locks when it is sure on its own, when
// it is high and the previous segment's clear estimate lies within 60 cents, or when three
// clear estimates in a row agree so. Anything else unlocks.
void TrackAccuratePitch(PitchCandidate estimate, float seconds);

// Forgets every estimate (the tracker as at start).
void ResetAccuratePitch();
