// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum as numbers (CSV, fullview/bin_levels_csv.h): Control > Export Spectrum... writes
// the spectrum shown, --spectrum-out the run's long-term average.
//
// The spectrum shown is, in the full view, the level of every bin of its FFT as its trace
// draws it (averaging and the noise reference applied, the held peaks not); in the handheld
// picture, every bin of the spectrum its trace was last drawn from, on its dB scale (power
// 1e-10 = 0 dB), before the trace's resampling onto columns and its averaging, which work on
// columns. While the pause button holds the picture, it is the spectrum of the held picture.
#pragma once

#include <cstddef>
#include <string>

struct ProgramOptions;

// Before the window: watches every captured block (for the pause button's spectrum, and for
// the average when --spectrum-out is given) and, in a window, offers Export Spectrum....
void EnableSpectrumExport(const ProgramOptions& options);

// The spectrum shown, as CSV text; false when there is none.
bool ShownSpectrumCsv(std::string* csv);

// Writes the average over every block since the start (at the rate of the last block: a
// change of rate starts it afresh) to --spectrum-out, replacing the file in one step; false
// with a one-line reason, the file left as it was.
bool WriteAverageSpectrum(const ProgramOptions& options, char* reason, size_t reasonSize);
