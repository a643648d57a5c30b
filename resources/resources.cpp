// SPDX-License-Identifier: GPL-3.0-or-later
// The resource tables.
#include "resources/resources.h"

namespace {

const MenuItemResource kStartItems[] = {
    {kCommandExit, "Exit"},
};
const MenuItemResource kControlItems[] = {
    {kCommandSpectrum, "Spectrum Analyzer"},
    {kCommandSpectrogram, "Spectrogram"},
    {0, nullptr},
    {kCommandOption, "Option"},
    {kCommandAccuratePitch, "Accurate Pitch"},
};
const MenuItemResource kHelpItems[] = {
    {kCommandAbout, "About"},
    {kCommandContent, "Content"},
};

template <typename T, int N>
constexpr int CountOf(const T (&)[N]) {
    return N;
}

using Kind = ControlKind;

const DialogControlResource kAboutControls[] = {
    {-1, Kind::kIcon, nullptr, 8, 8, 21, 20, false},
    {-1, Kind::kLabel, "Quillo-SA " QUILLO_VERSION, 36, 8, 96, 10, false},
    {-1, Kind::kLabel, "Spectrum analyzer, spectrogram", 36, 22, 100, 8, false},
    {-1, Kind::kLabel, "and pitch readout.", 36, 31, 100, 8, false},
    {-1, Kind::kLabel, "Exit saves the settings;", 8, 48, 128, 8, false},
    {-1, Kind::kLabel, "Ctrl+Q quits without saving.", 8, 57, 128, 8, false},
    // The notices the licence asks of an interactive program: copyright, no warranty, where
    // to read the licence.
    {-1, Kind::kLabel, "Copyright 2026 the Quillo-SA developers.", 8, 72, 128, 8, false},
    {-1, Kind::kLabel, "Free software under the GNU GPL, version 3", 8, 81, 128, 8, false},
    {-1, Kind::kLabel, "or later, with ABSOLUTELY NO WARRANTY; see", 8, 90, 128, 8, false},
    {-1, Kind::kLabel, "https://www.gnu.org/licenses/gpl-3.0.html", 8, 99, 128, 8, false},
    {kCommandOk, Kind::kDefaultPushButton, "OK", 45, 115, 50, 14, false},
};

// The Filtering group lists "None" first but shows it right of "Auditory" and "Hum".
const DialogControlResource kOptionsControls[] = {
    {kCommandOk, Kind::kDefaultPushButton, "OK", 15, 136, 50, 14, false},
    {kCommandCancel, Kind::kPushButton, "Cancel", 74, 136, 50, 14, false},
    {-1, Kind::kGroupBox, "Freq Scale", 7, 0, 125, 18, false},
    {kControlLog, Kind::kRadioButton, "Log", 18, 8, 50, 9, true},
    {kControlLinear, Kind::kRadioButton, "Linear", 74, 8, 50, 9, false},
    {-1, Kind::kGroupBox, "dB Range", 7, 18, 125, 20, false},
    {-1, Kind::kLabel, "Min: ", 31, 27, 15, 8, false},
    {kControlDbMin, Kind::kEdit, "", 46, 24, 20, 12, false},
    {-1, Kind::kLabel, "Max: ", 72, 27, 16, 8, false},
    {kControlDbMax, Kind::kEdit, "", 89, 24, 20, 12, false},
    {-1, Kind::kGroupBox, "Freq Resolution", 7, 38, 125, 19, false},
    {kControlNarrow, Kind::kRadioButton, "Narrow", 18, 47, 35, 9, true},
    {kControlResolutionMedium, Kind::kRadioButton, "Medium", 57, 47, 36, 9, false},
    {kControlWide, Kind::kRadioButton, "Wide", 99, 47, 29, 9, false},
    {-1, Kind::kGroupBox, "Time Averaging", 7, 57, 125, 19, false},
    {kControlShort, Kind::kRadioButton, "Short", 18, 66, 30, 9, true},
    {kControlAveragingMedium, Kind::kRadioButton, "Medium", 57, 66, 36, 9, false},
    {kControlLong, Kind::kRadioButton, "Long", 99, 66, 29, 9, false},
    {-1, Kind::kGroupBox, "Peak Profiling", 7, 76, 125, 19, false},
    {kControlPeakNone, Kind::kRadioButton, "None", 18, 85, 30, 9, true},
    {kControlCalibrate, Kind::kRadioButton, "Calibrate", 57, 85, 39, 9, false},
    {kControlMusic, Kind::kRadioButton, "Music", 99, 85, 29, 9, false},
    {-1, Kind::kGroupBox, "Sampling rate", 7, 95, 125, 19, false},
    {kControlRate11025, Kind::kRadioButton, "11025 Hz", 18, 103, 44, 9, true},
    {kControlRate22050, Kind::kRadioButton, "22050 Hz", 74, 103, 41, 9, false},
    {-1, Kind::kGroupBox, "Filtering", 7, 114, 125, 19, false},
    {kControlFilterNone, Kind::kRadioButton, "None", 99, 123, 30, 9, true},
    {kControlAuditory, Kind::kRadioButton, "Auditory", 18, 123, 39, 9, false},
    {kControlHum, Kind::kRadioButton, "Hum", 57, 123, 29, 9, false},
};

const DialogResource kDialogs[] = {
    {kAboutDialog, "About Quillo-SA", 139, 135, 10, kAboutControls, CountOf(kAboutControls)},
    {kOptionsDialog, "Setting", 139, 157, 10, kOptionsControls, CountOf(kOptionsControls)},
};

}  // namespace

const char* LoadStringResource(int id) {
    switch (id) {
        case kStringTitle:
            return "Quillo-SA";
        case kStringClassName:
            return "Tavo";
        default:
            return nullptr;
    }
}

const DropDownResource MenuBarMenus[kMenuBarMenuCount] = {
    {"Start", kStartItems, CountOf(kStartItems)},
    {"Control", kControlItems, CountOf(kControlItems)},
    {"Help", kHelpItems, CountOf(kHelpItems)},
};

const MenuBarButton SpectrogramButtons[kSpectrogramButtonCount] = {
    {0, kCommandPause},
    {1, kCommandDbLabels},
    {2, kCommandNoise},
    {3, kCommandAutoRange},
};

const MenuBarButton SpectrumButtons[kSpectrumButtonCount] = {
    {0, kCommandPause},    {1, kCommandDbGrid}, {2, kCommandFreqGrid},
    {3, kCommandDbLabels}, {4, kCommandNoise},  {5, kCommandAutoRange},
};

const Accelerator AcceleratorTable[kAcceleratorCount] = {
    {'A', kCommandAbout},
    {'Q', kCommandQuit},
};

const DialogResource* FindDialogResource(int id) {
    for (const DialogResource& dialog : kDialogs) {
        if (dialog.id == id) return &dialog;
    }
    return nullptr;
}
