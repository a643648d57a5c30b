// SPDX-License-Identifier: GPL-3.0-or-later
// The reference pitch kept in the choices.
#include "shell/reference_pitch.h"

#include "shell/choices.h"
#include "views/note_scale.h"

namespace {

bool referenceGiven = false;  // the command line's pitch holds for this run

}  // namespace

void GiveReferencePitch(float hz) {
    if (SetReferencePitch(hz)) referenceGiven = true;
}

void ChooseReferencePitch(float hz) {
    if (!SetReferencePitch(hz)) return;
    referenceGiven = false;
    char text[kReferencePitchTextSize];
    FormatReferencePitch(NoteScale.referenceHz, text);
    SetChoice(kChoiceReferencePitch, text);
}

void LoadReferencePitch() {
    if (referenceGiven) return;
    float hz = kDefaultReferencePitch;
    ParseReferencePitch(GetChoice(kChoiceReferencePitch), &hz);
    SetReferencePitch(hz);
}

void ResetReferencePitch() {
    SetReferencePitch(kDefaultReferencePitch);
    referenceGiven = false;
}
