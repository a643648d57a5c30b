// SPDX-License-Identifier: GPL-3.0-or-later
// The options dialog ("Setting", dialog resource 119): the eight settings as radio groups
// and two dB fields. "OK" checks the dB range and applies every group at once, in a fixed
// order; nothing is saved here (Exit saves). Main thread only.
#pragma once

#include <cstdint>

// The frequency resolution the dialog last applied; only used to blank the readout band
// once when the resolution leaves "Narrow". Starts at 0, never loaded from the file.
extern int lastResolution;
void ResetOptionsDialog();  // lastResolution back to 0

intptr_t OptionsDialogProc(void* dialog, unsigned message, uintptr_t wParam, intptr_t lParam);
