// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/level_rows.h"

#include <cstdlib>
#include <sstream>

namespace {

// The whole of `field` as a number.
bool Number(const std::string& field, double* value) {
    if (field.empty()) return false;
    char* end = nullptr;
    *value = std::strtod(field.c_str(), &end);
    return end == field.c_str() + field.size();
}

}  // namespace

bool ReadSpectrumRows(const std::string& text, std::vector<SpectrumRow>* rows, std::string* why) {
    std::istringstream lines(text);
    std::string line;
    rows->clear();
    if (!std::getline(lines, line) || line != "frequency_hz,level_db") {
        *why = "header '" + line + "'";
        return false;
    }
    while (std::getline(lines, line)) {
        const size_t comma = line.find(',');
        SpectrumRow row{};
        if (comma == std::string::npos || !Number(line.substr(0, comma), &row.hz) ||
            !Number(line.substr(comma + 1), &row.db)) {
            *why = "row " + std::to_string(rows->size() + 1) + " '" + line + "'";
            return false;
        }
        if (!rows->empty() && !(row.hz > rows->back().hz)) {
            *why = "frequency not increasing at '" + line + "'";
            return false;
        }
        rows->push_back(row);
    }
    if (text.empty() || text.back() != '\n') {
        *why = "no line end at the end";
        return false;
    }
    return true;
}

SpectrumRow LoudestRow(const std::vector<SpectrumRow>& rows) {
    SpectrumRow loudest = rows.front();
    for (const SpectrumRow& row : rows)
        if (row.db > loudest.db) loudest = row;
    return loudest;
}
