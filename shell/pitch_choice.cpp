// SPDX-License-Identifier: GPL-3.0-or-later
// The pitch estimator choice.
#include "shell/pitch_choice.h"

#include <cstring>
#include <initializer_list>

#include "analysis/accurate_pitch.h"
#include "shell/choices.h"

PitchChoiceRecord PitchChoice = {};

void ResetPitchChoice() {
    PitchChoice = {};
    ResetAccuratePitch();
}

void SetPitchEstimator(PitchEstimatorKind kind) {
    if (kind == PitchEstimatorKind::kAccurate && PitchChoice.estimator != kind) {
        ResetAccuratePitch();
    }
    PitchChoice.estimator = kind;
    PitchChoice.given = true;
}

bool ParsePitchEstimator(const char* text, PitchEstimatorKind* kind) {
    for (PitchEstimatorKind k : {PitchEstimatorKind::kClassic, PitchEstimatorKind::kAccurate}) {
        if (std::strcmp(text, PitchEstimatorName(k)) == 0) {
            *kind = k;
            return true;
        }
    }
    return false;
}

const char* PitchEstimatorName(PitchEstimatorKind kind) {
    return kind == PitchEstimatorKind::kAccurate ? "accurate" : "classic";
}

void LoadPitchChoice() {
    if (PitchChoice.given) return;
    // Where no choice is stored, the accurate estimator: the classic one reads a bright tone
    // (a sawtooth, a brass note) a few per cent flat, locked on the wrong note.
    PitchEstimatorKind kind = PitchEstimatorKind::kAccurate;
    ParsePitchEstimator(GetChoice(kChoicePitchEstimator), &kind);
    PitchChoice.estimator = kind;
}

bool SavePitchChoice() {
    SetChoice(kChoicePitchEstimator, PitchEstimatorName(PitchChoice.estimator));
    return SaveChoices();
}
