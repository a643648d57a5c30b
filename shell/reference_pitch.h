// SPDX-License-Identifier: GPL-3.0-or-later
// The reference pitch (views/note_scale.h) across starts: kept in the program's choices
// (shell/choices.h) as "reference_pitch = 440.0". The command line's pitch holds for its run
// only; one chosen in the full view's options dialog is kept. Main thread only.
#pragma once

// The pitch for this run (the command line, which may call it before start-up): start-up
// does not replace it with the kept one, and it is not kept.
void GiveReferencePitch(float hz);
// The pitch chosen by the user: taken and stored, written with the next SaveChoices.
void ChooseReferencePitch(float hz);
// Takes the kept pitch unless one was given; none kept, or one that does not parse, is
// kDefaultReferencePitch.
void LoadReferencePitch();
// Back to kDefaultReferencePitch, nothing given.
void ResetReferencePitch();
