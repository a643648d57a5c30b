// SPDX-License-Identifier: GPL-3.0-or-later
// The picture and the full view's options across starts.
#include "fullview/full_view_choices.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fullview/full_options.h"
#include "shell/choices.h"
#include "shell/picture_mode.h"

namespace {

// A stored whole number, or `fallback` when there is none or it is not one.
int StoredInt(ChoiceKey key, int fallback) {
    const char* text = GetChoice(key);
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || value < -1000000 || value > 1000000)
        return fallback;
    return int(value);
}

float StoredDb(ChoiceKey key, float fallback) {
    const char* text = GetChoice(key);
    char* end = nullptr;
    const float value = std::strtof(text, &end);
    return *text == '\0' || *end != '\0' || !std::isfinite(value) ? fallback : value;
}

// The index of the stored value among `names`, or `fallback`.
template <int N>
int StoredName(ChoiceKey key, const char* const (&names)[N], int fallback) {
    for (int i = 0; i < N; i++) {
        if (std::strcmp(GetChoice(key), names[i]) == 0) return i;
    }
    return fallback;
}

// Names in the order of their enumerations.
constexpr const char* kModeNames[] = {"handheld", "full"};
constexpr const char* kWindowNames[] = {"hann", "blackman-harris"};
constexpr const char* kAveragingNames[] = {"off", "0.1s", "0.5s"};
constexpr const char* kColourNames[] = {"handheld", "viridis", "grey"};
constexpr const char* kAxisNames[] = {"linear", "log"};
constexpr const char* kSwitchNames[] = {"off", "on"};
constexpr int kRates[] = {22050, 44100, 48000, 96000};  // as the options dialog offers

FullAnalysisConfig StoredAnalysis(const FullAnalysisConfig& d) {
    FullAnalysisConfig c = d;
    c.sampleRate = StoredInt(kChoiceFullRate, d.sampleRate);
    bool offered = false;
    for (int rate : kRates)
        offered = offered || rate == c.sampleRate;
    if (!offered) c.sampleRate = d.sampleRate;
    c.fftSize = StoredInt(kChoiceFullFftSize, d.fftSize);
    c.window = FullWindowKind(StoredName(kChoiceFullWindow, kWindowNames, int(d.window)));
    c.overlapPercent = StoredInt(kChoiceFullOverlap, d.overlapPercent);
    c.averaging =
        FullAveraging(StoredName(kChoiceFullAveraging, kAveragingNames, int(d.averaging)));
    c.peakHold = StoredName(kChoiceFullPeakHold, kSwitchNames, d.peakHold) == 1;
    c.historySeconds = StoredInt(kChoiceFullHistory, d.historySeconds);
    return ValidFullAnalysisConfig(c) ? c : d;
}

void StoreInt(ChoiceKey key, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    SetChoice(key, text);
}

void StoreDb(ChoiceKey key, float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(value));
    SetChoice(key, text);
}

}  // namespace

void LoadFullViewChoices(bool keepMode) {
    if (!keepMode) {
        const int mode = StoredName(kChoicePictureMode, kModeNames, int(PictureModeState.mode));
        PictureModeState.mode = PictureMode(mode);
    }
    const FullViewOptionsRecord d = DefaultFullViewOptions();
    FullViewOptionsRecord o = d;
    o.analysis = StoredAnalysis(d.analysis);
    o.colours = FullColourMapKind(StoredName(kChoiceFullColourMap, kColourNames, int(d.colours)));
    o.logAxis = StoredName(kChoiceFullAxis, kAxisNames, d.logAxis) == 1;
    o.filled = StoredName(kChoiceFullFill, kSwitchNames, d.filled) == 1;
    o.tuner = StoredName(kChoiceFullTuner, kSwitchNames, d.tuner) == 1;
    o.dbLow = StoredDb(kChoiceFullDbMin, d.dbLow);
    o.dbHigh = StoredDb(kChoiceFullDbMax, d.dbHigh);
    if (o.dbHigh <= o.dbLow) {
        o.dbLow = d.dbLow;
        o.dbHigh = d.dbHigh;
    }
    LimitFullDbRange(&o.dbLow, &o.dbHigh);
    FullViewOptions = o;
}

bool SaveFullViewChoices() {
    const FullViewOptionsRecord& o = FullViewOptions;
    const FullAnalysisConfig& a = o.analysis;
    SetChoice(kChoicePictureMode, kModeNames[int(PictureModeState.mode)]);
    StoreInt(kChoiceFullRate, a.sampleRate);
    StoreInt(kChoiceFullFftSize, a.fftSize);
    SetChoice(kChoiceFullWindow, kWindowNames[int(a.window)]);
    StoreInt(kChoiceFullOverlap, a.overlapPercent);
    SetChoice(kChoiceFullAveraging, kAveragingNames[int(a.averaging)]);
    SetChoice(kChoiceFullPeakHold, kSwitchNames[a.peakHold]);
    StoreInt(kChoiceFullHistory, a.historySeconds);
    SetChoice(kChoiceFullColourMap, kColourNames[int(o.colours)]);
    SetChoice(kChoiceFullAxis, kAxisNames[o.logAxis]);
    SetChoice(kChoiceFullFill, kSwitchNames[o.filled]);
    SetChoice(kChoiceFullTuner, kSwitchNames[o.tuner]);
    StoreDb(kChoiceFullDbMin, o.dbLow);
    StoreDb(kChoiceFullDbMax, o.dbHigh);
    return SaveChoices();
}
