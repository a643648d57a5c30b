// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: the entry point, the main window's creation, the device profile and the
// one-time set-up of drawing and views.
#pragma once

// Runs the program: start-up, then the message loop. 0 when start-up fails (another
// instance runs, no window, no display), otherwise the code the loop ended with.
int RunProgram();

// Refuses a second instance, creates the window, opens the display, applies the device
// profile, sets up the views and shows the window. False when the program must end.
bool InitMainWindow();

// The one-time set-up of drawing and views, in order: viewport, diagnostic file, view
// area, font, waveform pen, colour map, dB labels, readout band, settings, time axis.
void InitViews(void* window, int left, int top, int width, int height);

// True when this machine's OEM information text (ReadOemText) names the small device: the
// one place that decides the device profile, for start-up and for the program's audio file.
bool MachineHasDeviceProfile();

// True when the OEM information text names the small device: 'P' at 0, 'J' at 10 and '6'
// at 11, or 'H' at 0, 'J' at 3 and '5' at 11. `length` characters of `text` are valid.
bool IsDeviceProfileText(const char16_t* text, int length);

// Resets every record the shell, analysis, views and raster keep to its state at program
// start, each group through its own reset (the in-memory state only; the display and the
// capture device are left alone).
void ResetProgramState();
