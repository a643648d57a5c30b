// SPDX-License-Identifier: GPL-3.0-or-later
// The file types the audio file source can open, as libsndfile names its major formats, for
// the window's file dialog.
#pragma once

#include <cstddef>

// Writes "*.wav *.aiff ..." (space-separated name patterns, each extension once, with the
// usual spellings of a few: *.aif, *.ogg, *.opus) into `text`; false when libsndfile lists
// nothing or the list does not fit `size` bytes (text is then empty).
bool AudioFilePatterns(char* text, size_t size);
