// SPDX-License-Identifier: GPL-3.0-or-later
// Control > Export Spectrum...: the spectrum shown, as the program makes it into CSV text,
// written to a file the user names in a Save dialog, replaced in one step; a failure is said
// in a box and in one line on stderr, and an existing file stays as it was. The item comes
// after every other item of the Control menu. Main thread only.
#pragma once

#include <string>

// Writes the spectrum shown now as CSV into `csv`; false when there is none to export.
using ShownSpectrumSource = bool (*)(std::string* csv);

// Adds the item to the Control menus of the bars made from now on.
void OfferSpectrumExport(ShownSpectrumSource source);

// As the menu item: the spectrum as shown when it was chosen, then the dialog, then the file.
void ExportSpectrum();
