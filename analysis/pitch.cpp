// SPDX-License-Identifier: GPL-3.0-or-later
// Pitch tracker: follows one pitch through the noisy per-analysis peak estimates.
#include "analysis/analysis.h"

PitchTrackerState PitchTracker;

void ResetPitchTracker() {
    PitchTracker = {};
}

static bool IsSamePitch(float ratio) {
    return ratio > 0.96f && ratio < 1.04f;
}

// New estimate weighs 0.7 against the old pitch's 0.3.
static float Smooth(float pitch, float estimate) {
    return static_cast<float>(0.3 * static_cast<double>(pitch) +
                              0.7 * static_cast<double>(estimate));
}

static bool TrackAgreeing(float frequency, float weight) {
    PitchTrackerState& t = PitchTracker;
    bool accepted = false;
    if (weight > t.referenceWeight) {
        t.pitch = Smooth(t.pitch, frequency);
        t.referenceWeight = weight;
        t.reportedPitch = t.pitch;
        accepted = true;
    } else if (weight >= t.referenceWeight * 0.06666667f) {
        t.pitch = Smooth(t.pitch, frequency);
        t.reportedPitch = t.pitch;
        accepted = true;
    }
    // A weak estimate may still nudge the pitch, but does not count as a confirmation.
    if (weight < t.referenceWeight * 0.125f) accepted = false;
    return accepted;
}

static bool TrackFrom(float frequency, float weight) {
    PitchTrackerState& t = PitchTracker;
    const float ratio = frequency / t.pitch;
    if (IsSamePitch(ratio)) return TrackAgreeing(frequency, weight);
    if (static_cast<double>(ratio) < 2.03 && static_cast<double>(ratio) > 1.97) {
        // The peak picker jumped an octave up: keep following the lower pitch.
        t.pitch = static_cast<float>(0.7 * static_cast<double>(frequency * 0.5f) +
                                     0.3 * static_cast<double>(t.pitch));
        t.reportedPitch = t.pitch;
        return true;
    }
    t.jumpCandidate = frequency;
    t.state = PitchState::Pending;
    return false;
}

// One disagreeing estimate was seen; this one either repeats the old pitch (the stray is
// ignored), confirms the new one (the pitch moves, the report follows on the next
// agreeing estimate) or agrees with neither (start afresh).
static bool ConfirmJump(float frequency) {
    PitchTrackerState& t = PitchTracker;
    if (IsSamePitch(frequency / t.pitch)) {
        t.state = PitchState::Tracking;
        return false;
    }
    if (IsSamePitch(frequency / t.jumpCandidate)) {
        t.pitch = static_cast<float>(0.7 * static_cast<double>(t.jumpCandidate) +
                                     0.3 * static_cast<double>(frequency));
        t.state = PitchState::Tracking;
        return true;
    }
    t.state = PitchState::Idle;
    return false;
}

bool TrackPitch(float frequency, float weight) {
    if (!(frequency > 0.0f) || !(weight > 0.0f)) return false;
    switch (PitchTracker.state) {
        case PitchState::Idle:
            PitchTracker.pitch = frequency;
            PitchTracker.referenceWeight = weight;
            PitchTracker.state = PitchState::Tracking;
            return true;
        case PitchState::Tracking:
            return TrackFrom(frequency, weight);
        case PitchState::Pending:
            return ConfirmJump(frequency);
    }
    return false;
}

float TrackedPitch() {
    return PitchTracker.reportedPitch;
}
