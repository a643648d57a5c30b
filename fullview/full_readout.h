// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's texts: the note with its octave, the pitch readout and the pointer's
// reading. Each is cut to `capacity` bytes (NUL included) and returns the characters written.
#pragma once

// The equal-tempered note nearest `hz` with A4 at referenceHz, in semitones above C-1 (A4 is
// 69), into *note; returns the deviation from it in cents. -1 and 0 for a frequency that is
// not positive and finite or lies beyond the notes' octaves -1 .. 20.
float FullNearestNote(float hz, float referenceHz, int* note);
// "A4", "C#3" for a note in semitones above C-1; empty for a negative one.
void FullNoteText(int note, char* text, int capacity);

// "A4", "C#3": the equal-tempered note nearest `hz` with A4 at referenceHz, into `text`;
// returns the deviation from it in cents. An empty text and 0 for a frequency that is not
// positive and finite or lies beyond the notes' octaves -1 .. 20.
float FullNoteName(float hz, float referenceHz, char* text, int capacity);

// "440.0 Hz  A4  +2 cents"; empty when FullNoteName finds no note.
int FormatFullPitch(float hz, float referenceHz, char* text, int capacity);

// The pointer's reading: "1.002 kHz  -6.0 dB" on the spectrum, "440 Hz  2.3 s ago" on the
// spectrogram, the frequency with the decimals one pixel's resolutionHz makes meaningful.
int FormatFullLevelReading(float hz, float levelDb, float resolutionHz, char* text, int capacity);
int FormatFullAgeReading(float hz, double secondsAgo, float resolutionHz, char* text, int capacity);
