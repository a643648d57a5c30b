// SPDX-License-Identifier: GPL-3.0-or-later
// The shown picture and the full view's options kept in the program's choices
// (shell/choices.h) from one start to the next. A value that is missing or not one the
// options dialog could have set leaves that option at its default, silently; an analysis
// that is not valid as a whole is the default analysis.
#pragma once

// Sets PictureModeState.mode (unless `keepMode`: the command line chose the picture) and
// FullViewOptions from the stored choices.
void LoadFullViewChoices(bool keepMode);
// Stores the shown picture and FullViewOptions and writes the choices file; false, with
// errno telling why, when that fails.
bool SaveFullViewChoices();
