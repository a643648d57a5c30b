// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the full view's tests: tones fed to the analysis and peaks found in levels.
#pragma once

#include <initializer_list>

#include "fullview/full_analysis.h"

// Configures the analysis (rate and size, the rest default) and feeds `seconds` of the sum
// of sines at `frequencies`, each of `amplitude` (of full scale).
void FeedTones(int sampleRate, int fftSize, std::initializer_list<float> frequencies,
               float amplitude, double seconds);

// Index of the highest of `count` levels.
int HighestPosition(const float* levels, int count);
