// SPDX-License-Identifier: GPL-3.0-or-later
// A spectrum CSV (frequency_hz,level_db) read back as a user's CSV reader reads it.
#pragma once

#include <string>
#include <vector>

struct SpectrumRow {
    double hz;
    double db;
};

// The rows after the header; false with `why` unless the header is exact and every row is two
// numbers, whole, with frequencies increasing.
bool ReadSpectrumRows(const std::string& text, std::vector<SpectrumRow>* rows, std::string* why);

// The row of the highest level (the first of equals); rows must not be empty.
SpectrumRow LoudestRow(const std::vector<SpectrumRow>& rows);
