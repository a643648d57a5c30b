// SPDX-License-Identifier: GPL-3.0-or-later
// A spectrum as CSV text, as Export Spectrum... and --spectrum-out write it:
//
//   frequency_hz,level_db
//   0,-200
//   5.859375,-143.20117
//
// One row per bin, bin k at k * binHz. Numbers are in fixed notation with '.' as the decimal
// point whatever the locale, each with the fewest digits that read back as the same value:
// the frequency as a double (exact: binHz is a rate over a power of two), the level as the
// float it was computed as. A level that is not finite is written as kFullFloorDb.
#pragma once

#include <string>

std::string SpectrumCsv(const float* levelDb, int binCount, double binHz);
