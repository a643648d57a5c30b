// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's pitch: the capture averaged over a few samples (a gentle low-pass) down to
// about 22050 Hz, the rate the accurate estimator's figures hold at, and the estimator run
// on the newest segment after every block. Its result is AccuratePitchTracker
// (analysis/accurate_pitch.h). Main thread only.
#pragma once

#include <cstdint>

// Forgets every sample and sets the averaging for a capture at `sampleRate` Hz.
void ConfigureFullPitch(int sampleRate);
// Takes one captured block (16-bit units) and runs the estimator and its tracker.
void TrackFullPitch(const int16_t* samples, int count);
// The lock state of the tracker as the readouts show it (kPitchLocked, kPitchNotLocked,
// kPitchLost of views/readout.h).
int FullPitchLockState();
