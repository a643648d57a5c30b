// SPDX-License-Identifier: GPL-3.0-or-later
// Texts of the full view.
#include "fullview/full_readout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "fullview/full_axis.h"

namespace {

constexpr const char* kNoteNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
constexpr int kA4Note = 69;  // notes counted in semitones from C-1

int Written(int result, int capacity) {
    if (result < 0 || capacity <= 0) return 0;
    return std::min(result, capacity - 1);
}

}  // namespace

float FullNearestNote(float hz, float referenceHz, int* note) {
    *note = -1;
    if (!(hz > 0.0f) || !std::isfinite(hz) || !(referenceHz > 0.0f) || !std::isfinite(referenceHz))
        return 0.0f;
    const double semitones = double(kA4Note) + 12.0 * std::log2(double(hz) / double(referenceHz));
    const double nearest = std::round(semitones);
    if (!(nearest >= 0.0 && nearest < 22.0 * 12.0)) return 0.0f;
    *note = int(nearest);
    return float((semitones - nearest) * 100.0);
}

void FullNoteText(int note, char* text, int capacity) {
    if (capacity <= 0) return;
    text[0] = '\0';
    if (note >= 0)
        std::snprintf(text, size_t(capacity), "%s%d", kNoteNames[note % 12], note / 12 - 1);
}

float FullNoteName(float hz, float referenceHz, char* text, int capacity) {
    int note = -1;
    const float cents = FullNearestNote(hz, referenceHz, &note);
    FullNoteText(note, text, capacity);
    return cents;
}

int FormatFullPitch(float hz, float referenceHz, char* text, int capacity) {
    char note[16];  // "C#20" at most; room for what the compiler cannot rule out
    const float cents = FullNoteName(hz, referenceHz, note, sizeof note);
    if (note[0] == '\0') {
        if (capacity > 0) text[0] = '\0';
        return 0;
    }
    const int rounded = int(std::lround(cents));
    return Written(std::snprintf(text, size_t(std::max(capacity, 0)), "%.1f Hz  %s  %+d cents",
                                 double(hz), note, rounded),
                   capacity);
}

int FormatFullLevelReading(float hz, float levelDb, float resolutionHz, char* text, int capacity) {
    char frequency[32];
    FormatFullFrequency(hz, resolutionHz, frequency, sizeof frequency);
    return Written(std::snprintf(text, size_t(std::max(capacity, 0)), "%s  %.1f dB", frequency,
                                 double(levelDb)),
                   capacity);
}

int FormatFullAgeReading(float hz, double secondsAgo, float resolutionHz, char* text,
                         int capacity) {
    char frequency[32];
    FormatFullFrequency(hz, resolutionHz, frequency, sizeof frequency);
    return Written(
        std::snprintf(text, size_t(std::max(capacity, 0)), "%s  %.1f s ago", frequency, secondsAgo),
        capacity);
}
