// SPDX-License-Identifier: GPL-3.0-or-later
// A spectrum as CSV text.
#include "fullview/bin_levels_csv.h"

#include <charconv>
#include <cmath>

#include "fullview/full_analysis.h"

namespace {

constexpr int kRowChars = 64;  // far more than two shortest fixed numbers of this range take

// Appends `value` and `separator`; to_chars ignores the locale and gives the shortest text
// that reads back as the same value.
template <typename T>
void Append(std::string& text, T value, char separator) {
    char digits[kRowChars];
    const std::to_chars_result r =
        std::to_chars(digits, digits + sizeof digits - 1, value, std::chars_format::fixed);
    if (r.ec != std::errc()) return;
    *r.ptr = separator;
    text.append(digits, r.ptr + 1);
}

}  // namespace

std::string SpectrumCsv(const float* levelDb, int binCount, double binHz) {
    std::string text = "frequency_hz,level_db\n";
    text.reserve(size_t(binCount > 0 ? binCount : 0) * 24 + text.size());
    for (int k = 0; k < binCount; k++) {
        const float level = std::isfinite(levelDb[k]) ? levelDb[k] : kFullFloorDb;
        Append(text, double(k) * binHz, ',');
        Append(text, level, '\n');
    }
    return text;
}
