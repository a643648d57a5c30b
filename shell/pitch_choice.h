// SPDX-License-Identifier: GPL-3.0-or-later
// Which pitch estimator feeds the readout band and the pitch log: the classic peak picking
// with its tracker, or the accurate estimator (what start-up takes when no choice is
// stored). The classic tracker runs in either case, so switching back finds it exactly where
// it would have been. The choice is kept with the program's own choices (shell/choices.h),
// read at start-up and written with the settings by "Exit". Main thread only.
#pragma once

enum class PitchEstimatorKind : int {
    kClassic,
    kAccurate,
};

struct PitchChoiceRecord {
    PitchEstimatorKind estimator;  // kClassic at reset; start-up loads the stored choice
    bool given;                    // set by SetPitchEstimator: start-up keeps it over the file's
};
extern PitchChoiceRecord PitchChoice;

// Chooses the estimator, for the menu item and for a command-line option, which may call it
// before start-up: a choice made so is not replaced by the file's. Choosing the accurate
// estimator starts it afresh.
void SetPitchEstimator(PitchEstimatorKind kind);
// "classic" or "accurate"; false, with *kind unchanged, for any other text.
bool ParsePitchEstimator(const char* text, PitchEstimatorKind* kind);
const char* PitchEstimatorName(PitchEstimatorKind kind);
// Back to the classic estimator, nothing given, the accurate one's state cleared.
void ResetPitchChoice();

// Takes the stored choice unless one was given; no stored choice, or one this build does not
// know, is the accurate estimator.
void LoadPitchChoice();
// Stores the choice and writes the choices file (SaveChoices); false, with errno telling why,
// when that fails.
bool SavePitchChoice();
