// SPDX-License-Identifier: GPL-3.0-or-later
// The options dialog: initialisation, "OK" in its fixed order, "Cancel".
#include "shell/options_dialog.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "analysis/analysis.h"
#include "raster/display.h"
#include "resources/resources.h"
#include "shell/host.h"
#include "shell/settings.h"
#include "views/block_view.h"
#include "views/readout.h"
#include "views/view_frame.h"
#include "views/view_state.h"

int lastResolution = 0;

void ResetOptionsDialog() {
    lastResolution = 0;
}

namespace {

constexpr int kFieldCharacters = 20;  // characters read from a dB field
constexpr float kLowestDb = 0.0f;
constexpr float kHighestDb = 100.0f;
constexpr float kSmallestSeparation = 20.0f;
constexpr const char* kErrorCaption = "Error";

// A radio group's buttons, indexed by the option value they stand for.
constexpr int kResolutionButtons[kOptionCount] = {kControlNarrow, kControlResolutionMedium,
                                                  kControlWide};
constexpr int kAveragingButtons[kOptionCount] = {kControlShort, kControlAveragingMedium,
                                                 kControlLong};
constexpr int kPeakButtons[kOptionCount] = {kControlPeakNone, kControlCalibrate, kControlMusic};
constexpr int kFilterButtons[kOptionCount] = {kControlFilterNone, kControlAuditory, kControlHum};
constexpr int kRateButtonCount = 2;
constexpr int kRateButtons[kRateButtonCount] = {kControlRate11025, kControlRate22050};

template <int N>
void CheckOption(void* dialog, const int (&buttons)[N], int value) {
    if (value >= 0 && value < N) CheckDialogButton(dialog, buttons[value], true);
}

// The value of the checked button, or -1 when none is.
template <int N>
int CheckedOption(void* dialog, const int (&buttons)[N]) {
    for (int i = 0; i < N; ++i) {
        if (IsDialogButtonChecked(dialog, buttons[i])) return i;
    }
    return -1;
}

void ShowNumber(void* dialog, int id, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    SetDialogItemText(dialog, id, text);
}

// A dB field as the C library reads a number: leading digits count, other text is 0.
// False, with the message shown, when the field is empty.
bool ReadDbField(void* dialog, int id, const char* emptyMessage, float* value) {
    char text[kFieldCharacters + 1] = {};
    if (GetDialogItemText(dialog, id, text, sizeof text) == 0) {
        ShowMessageBox(dialog, emptyMessage, kErrorCaption, kMessageBoxPlain);
        return false;
    }
    *value = static_cast<float>(std::strtod(text, nullptr));
    return true;
}

bool InDbRange(float db) {
    return db >= kLowestDb && db <= kHighestDb;
}

float LevelPower(float db) {
    return static_cast<float>(std::pow(10.0, static_cast<double>((db - 100.0f) * 0.1f)));
}

void ApplyDbRange(void* dialog) {
    float min = 0.0f;
    float max = 0.0f;
    const bool haveMin =
        ReadDbField(dialog, kControlDbMin, "You have not enter the minimum frequency.", &min);
    const bool haveMax =
        ReadDbField(dialog, kControlDbMax, "You have not enter the maximum frequency.", &max);
    if (!haveMin || !haveMax) return;
    if (!(InDbRange(min) && InDbRange(max))) {
        ShowMessageBox(dialog, "The value is out of range.", kErrorCaption, kMessageBoxPlain);
    } else if (max - min >= kSmallestSeparation) {
        AnalyzerSettingsRecord& s = AnalyzerSettings;
        s.dbMax = static_cast<int>(max);
        s.dbMin = static_cast<int>(min);
        // From the values entered, not the truncated ones.
        BuildLevelTable(LevelPower(max), LevelPower(min), kLevelTableCount);
        SetDbRange(s.dbMax, s.dbMin, kDbStep, ViewMode);
    } else {
        ShowMessageBox(dialog, "The separation of the dB range is too small.", kErrorCaption,
                       kMessageBoxPlain);
    }
}

void ApplyResolution(int resolution) {
    if (resolution < 0) return;
    AnalyzerSettingsRecord& s = AnalyzerSettings;
    s.freqResolution = resolution;
    BuildAnalysisWindow(s.fftSize, kWindowAlphas[resolution]);
    s.windowAlpha = kWindowAlphas[resolution];
    if (resolution != 0 && lastResolution == 0) DrawReadoutBand();
    lastResolution = resolution;
    s.pitchTrackingOn = resolution == 0;
}

void SetupFrequencyViewFromSettings() {
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    SetupFrequencyView(s.captureRate, s.fftSize, EffectiveRateSetting(), s.logScale, ViewMode);
}

void InitDialog(void* dialog) {
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    CheckDialogButton(dialog, s.logScale != 0 ? kControlLog : kControlLinear, true);
    ShowNumber(dialog, kControlDbMin, s.dbMin);
    ShowNumber(dialog, kControlDbMax, s.dbMax);
    CheckOption(dialog, kResolutionButtons, s.freqResolution);
    CheckOption(dialog, kAveragingButtons, s.timeAveraging);
    CheckOption(dialog, kPeakButtons, s.peakProfile);
    if (deviceProfile) {
        for (int id : kRateButtons)
            EnableDialogItem(dialog, id, false);
    } else {
        CheckOption(dialog, kRateButtons, s.rateSetting);
    }
    CheckOption(dialog, kFilterButtons, s.filtering);
}

void Accept(void* dialog) {
    AnalyzerSettingsRecord& s = AnalyzerSettings;
    s.logScale = IsDialogButtonChecked(dialog, kControlLog) ? 1 : 0;
    SetupFrequencyViewFromSettings();  // still with the old rate setting
    ApplyDbRange(dialog);
    ApplyResolution(CheckedOption(dialog, kResolutionButtons));

    const int averaging = CheckedOption(dialog, kAveragingButtons);
    if (averaging >= 0) {
        s.timeAveraging = averaging;
        RequestViewReset(true);
        SetAveragingFactor(kAveragingFactors[averaging]);
    }

    const int peak = CheckedOption(dialog, kPeakButtons);
    if (peak >= 0) s.peakProfile = peak;
    RequestViewReset(true);
    SetPeakProfile(s.peakProfile);

    const int rate = CheckedOption(dialog, kRateButtons);
    if (rate >= 0) s.rateSetting = rate;
    SetupFrequencyViewFromSettings();

    const int filter = CheckedOption(dialog, kFilterButtons);
    if (filter >= 0) {
        s.filtering = filter;
        s.preEmphasis = kPreEmphases[filter];
    }
}

}  // namespace

intptr_t OptionsDialogProc(void* dialog, unsigned message, uintptr_t wParam, intptr_t) {
    if (message == WM_INITDIALOG) {
        InitDialog(dialog);
        return 1;
    }
    if (message != WM_COMMAND) return 0;
    switch (wParam & 0xFFFF) {
        case kCommandOk:
            Accept(dialog);
            EndDialog(dialog, 1);
            ResumeDrawing();
            return 1;
        case kCommandCancel:
            EndDialog(dialog, 0);
            ResumeDrawing();
            return 0;
        default:
            return 0;
    }
}
