// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own choices (which pitch estimator, which microphone, ...), kept in
// choices.txt beside the settings file and never in it: one "key = value" line each, read as
// the settings file is (only a regular file is opened) and replaced in one step. A key this
// build does not know is kept and written back; any other line that is not
// "key = value" is ignored with one line on stderr. When choices.txt does not exist, the
// files that each held one choice before it (pitch.txt, input.txt) are read in once; they
// are never written or removed. Main thread only.
//
// The file (or, when it does not exist, the older files) is read the first time an operation
// here is called after start or ResetChoices; a missing or unreadable file, or one that is
// not a regular file, holds no choices. A new choice is a new ChoiceKey and its row in the
// table of choices.cpp.
#pragma once

enum ChoiceKey : int {
    kChoicePitchEstimator,  // "classic" or "accurate" (PitchEstimatorName)
    kChoiceMicrophone,      // the label of the input chosen in the window, as listed
    kChoicePictureMode,     // "handheld" or "full"
    kChoiceFullRate,        // the full view's options (fullview/full_view_choices.h)
    kChoiceFullFftSize,
    kChoiceFullWindow,
    kChoiceFullOverlap,
    kChoiceFullAveraging,
    kChoiceFullPeakHold,
    kChoiceFullHistory,
    kChoiceFullColourMap,
    kChoiceFullAxis,
    kChoiceFullFill,
    kChoiceFullDbMin,
    kChoiceFullDbMax,
    kChoiceReferencePitch,  // A4 in Hz, "440.0" (shell/reference_pitch.h)
    kChoiceFullTuner,       // the full view's tuner gauge, "on" or "off"
    kChoiceKeyCount,
};

constexpr int kChoiceValueSize = 512;    // bytes of a value, its NUL included
constexpr int kChoiceLineSize = 640;     // bytes of a line of choices.txt, its NUL included
constexpr int kMostUnknownChoices = 32;  // lines of unknown keys kept; later ones are dropped

struct ChoicesRecord {
    bool loaded;                                         // the file has been read
    char values[kChoiceKeyCount][kChoiceValueSize];      // "" = no choice stored
    char unknown[kMostUnknownChoices][kChoiceLineSize];  // lines of unknown keys, as read
    int unknownCount;
};
extern ChoicesRecord Choices;

// choices.txt in the settings file's folder; null when there is no settings path.
const char* ChoicesFilePath();
// The stored value; "" when there is none.
const char* GetChoice(ChoiceKey key);
// Stores `value` in memory (SaveChoices writes it); false, with the value unchanged, for a
// null value, one too long or one holding a line break.
bool SetChoice(ChoiceKey key, const char* value);
// Writes every stored value and the unknown lines, replacing the file in one step (over a
// symlink's target); true without a settings path; false, with errno telling why and the
// file as it was, when that fails.
bool SaveChoices();
// Nothing stored, nothing loaded.
void ResetChoices();
