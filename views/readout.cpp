// SPDX-License-Identifier: GPL-3.0-or-later
// Peak readout: band colours by lock state, the frequency, note and cents texts.
#include "views/readout.h"

#include <cmath>
#include <cstdio>

#include "raster/font.h"
#include "raster/surface.h"
#include "views/note_scale.h"
#include "views/view_state.h"

ReadoutStateRecord ReadoutState;

void ResetReadoutState() {
    ReadoutState = {};
}

namespace {

constexpr char kNoteNames[] = "C C#D D#E F F#G G#A A#B ";
constexpr int kRefreshEvery = 3;  // texts are formatted when the counter passes this

// Band: frame 0..239 x 71..84, interior 3..236 x 73..82, texts on row 74.
constexpr int kBandTop = 71;
constexpr int kBandHeight = 14;
constexpr int kInteriorLeft = 3;
constexpr int kInteriorTop = 73;
constexpr int kInteriorWidth = 233;
constexpr int kInteriorHeight = 10;
constexpr int kTextRow = 74;
constexpr int kFrequencyColumn = 5;
constexpr int kNoteColumn = 100;
constexpr int kCentsColumn = 150;

}  // namespace

void DrawReadoutBand() {
    FillRect(ViewState.readoutFramePen, 0, kBandTop, kViewColumns, kBandHeight);
    FillRect(kPenBlack, kInteriorLeft, kInteriorTop, kInteriorWidth, kInteriorHeight);
}

void DrawReadoutBandLocked() {
    FillRect(kPenWhite, kInteriorLeft, kInteriorTop, kInteriorWidth, kInteriorHeight);
}

float OctavesAboveC0(float frequency) {
    static const float ln2 = float(std::log(2.0));
    return float(std::log(double(frequency / NoteScale.c0)) / double(ln2));
}

void NoteName(char* out, float octaves) {
    out[2] = out[3] = 0;
    const double p = double(octaves) + 0.001;
    if (!std::isfinite(p)) {
        out[0] = out[1] = ' ';
        return;
    }
    // Just below a whole octave the fraction can round up to 1: that is still the octave's B.
    int index = int(std::floor((p - std::floor(p)) * 12.0));
    if (index > 11) index = 11;
    out[0] = kNoteNames[2 * index];
    out[1] = kNoteNames[2 * index + 1];
}

float NearestNote(float frequency, char* note) {
    const float semis = OctavesAboveC0(frequency) * 12.0f;
    const double nearest = std::floor(double(semis) + 0.5);
    NoteName(note, float(nearest * (1.0 / 12.0)));
    const float deviation = float((double(semis) - nearest) * (1.0 / 12.0));
    return deviation * 1200.0f;
}

void DrawPeakReadout(float frequency, int lockState) {
    if (!(frequency > 0.0f && std::isfinite(frequency))) return;
    ReadoutState.refreshCounter = ReadoutState.refreshCounter + 1;

    PenCode background = kPenBlack;
    PenCode text = kPenBlack;
    if (lockState == kPitchLocked) {
        DrawReadoutBandLocked();
        background = kPenWhite;
    } else {
        DrawReadoutBand();
        if (lockState == kPitchNotLocked) text = kPenWhite;
    }

    char note[kNoteTextSize];
    const float cents = NearestNote(frequency, note);

    FillRect(background, kFrequencyColumn, kTextRow, 80, 7);
    FillRect(background, kNoteColumn, kTextRow, 22, 8);
    FillRect(background, kNoteColumn, kTextRow, 21, 7);
    FillRect(background, kCentsColumn, kTextRow, 63, 7);

    const bool refresh = ReadoutState.refreshCounter > kRefreshEvery;
    if (refresh) {
        std::snprintf(ReadoutState.frequencyText, kReadoutTextSize, "%7.1fhz", double(frequency));
        std::snprintf(ReadoutState.noteText, kNoteTextSize, "%s", note);
        std::snprintf(ReadoutState.centsText, kReadoutTextSize, "%+3.0f cent", double(cents));
    }
    DrawText(text, ReadoutState.frequencyText, kFrequencyColumn, kTextRow);
    DrawText(text, ReadoutState.noteText, kNoteColumn, kTextRow);
    DrawText(text, ReadoutState.centsText, kCentsColumn, kTextRow);
    if (refresh) ReadoutState.refreshCounter = 0;
}
