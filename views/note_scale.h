// SPDX-License-Identifier: GPL-3.0-or-later
// The equal-tempered scale that notes and cents are named from: A4 tuned to a reference
// pitch from 400.0 to 480.0 Hz in steps of 0.1 Hz, 440.0 Hz unless chosen otherwise.
#pragma once

constexpr float kLowestReferencePitch = 400.0f;  // Hz
constexpr float kHighestReferencePitch = 480.0f;
constexpr float kDefaultReferencePitch = 440.0f;
constexpr int kReferencePitchTextSize = 8;  // "445.5", NUL included

struct NoteScaleRecord {
    float referenceHz;  // A4; kDefaultReferencePitch until SetReferencePitch
    float c0;           // C0 on that scale: exactly 16.3515625 Hz at A4 = 440 Hz
};
extern NoteScaleRecord NoteScale;

// Tunes A4 to `hz` rounded to 0.1 Hz; false, with the scale unchanged, for a value outside
// kLowestReferencePitch .. kHighestReferencePitch or not a number.
bool SetReferencePitch(float hz);

// "440", "445.5": digits with at most one decimal, within the range; false, with *hz
// unchanged, for anything else. Neither reads nor writes by the locale's decimal point.
bool ParseReferencePitch(const char* text, float* hz);
// "445.5": `hz` with one decimal, as ParseReferencePitch reads it.
void FormatReferencePitch(float hz, char (&text)[kReferencePitchTextSize]);
