// SPDX-License-Identifier: GPL-3.0-or-later
// Peak readout: the band between the waveform strip and the plot, showing the tracked pitch
// as a frequency, the nearest equal-tempered note (from C0 = 16.3515625 Hz while A4 is
// 440 Hz) and the deviation from it in cents. The texts change only on every fourth call.
#pragma once

constexpr int kReadoutTextSize = 16;  // bytes of each readout text, NUL included
constexpr int kNoteTextSize = 4;      // two characters and two NULs

// Lock states handed over by the block pipeline.
constexpr int kPitchLocked = 0;     // black texts on white
constexpr int kPitchNotLocked = 1;  // white texts on black
constexpr int kPitchLost = 2;       // black on black: the band looks empty

struct ReadoutStateRecord {
    char frequencyText[kReadoutTextSize];  // "%7.1fhz"
    char noteText[kNoteTextSize];          // "A ", "C#", ...
    char centsText[kReadoutTextSize];      // "%+3.0f cent"
    int refreshCounter;                    // calls since the texts were last formatted
};
extern ReadoutStateRecord ReadoutState;
// Empties the texts and the refresh count, as they are when the program starts.
void ResetReadoutState();

// Blue frame around a black interior (blanks the band).
void DrawReadoutBand();
// White interior inside the existing frame.
void DrawReadoutBandLocked();
// Draws the band in the lock state's colours and the texts last formatted; formats them
// anew on every fourth call. A frequency that is not a positive finite number is ignored.
void DrawPeakReadout(float frequency, int lockState);

// Octaves of `frequency` (Hz) above C0 (NoteScale.c0, views/note_scale.h).
float OctavesAboveC0(float frequency);
// Writes the name of the note nearest `frequency` (as NoteName does) into `note` and
// returns the deviation from it in cents.
float NearestNote(float frequency, char* note);
// Writes the two-character name of the semitone that `octaves` lies in, then two NULs; a
// value that is not finite gives two blanks.
void NoteName(char* out, float octaves);
