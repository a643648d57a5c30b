// SPDX-License-Identifier: GPL-3.0-or-later
// The full view composed: the capture's blocks fed to the full view's analysis and to the
// accurate pitch estimator at the full view's rate, the pitch log and the tuner gauge's
// reading made from them, the picture told to repaint; and its snapshot.
#pragma once

#include <cstddef>

struct ProgramOptions;

// Before the window: gives the main window the full view's consumer and rate and configures
// the analysis from the full view's options; with --view full the full view is shown from
// the start.
void EnableFullView(const ProgramOptions& options);
// In a window: the full view's widget, menu items, button and key for the windows made from
// now on.
void AttachFullView(const ProgramOptions& options);
// In a window, before the window's extras (its widget then ends the bar): the input level
// meter in the bar while the handheld picture is shown, and in the full view.
void EnableLevelMeter(const ProgramOptions& options);

// Writes the full view's picture at --size as a PNG file; false with a one-line reason.
bool WriteFullViewSnapshot(const ProgramOptions& options, char* reason, size_t reasonSize);
