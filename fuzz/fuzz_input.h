// SPDX-License-Identifier: GPL-3.0-or-later
// What both fuzz targets share: the input written to a file of its own, since the code under
// test reads files by path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The input's file, one per process, made on first use and removed at exit.
const std::string& InputPath();
// Replaces the file's content with the input; aborts (a finding) when it cannot.
void WriteInput(const uint8_t* data, size_t size);
