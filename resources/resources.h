// SPDX-License-Identifier: GPL-3.0-or-later
// The program's resources as data: the string table, command ids, the menu and its
// drop-downs, the menu-bar button lists and bitmaps, the accelerators and the dialog
// templates. Portable: the shell reads the ids and button lists, the Qt host builds menus
// and dialogs from the same tables.
//
// Sections:
//   Strings        kStringTitle, kStringClassName, LoadStringResource
//   Commands       kCommand*
//   Menu bar       MenuBarMenus, SpectrogramButtons, SpectrumButtons, bitmaps
//   Accelerators   AcceleratorTable
//   Dialogs        DialogResource, FindDialogResource, About and Setting controls
#pragma once

// ---- Strings ----------------------------------------------------------------------------

constexpr int kStringTitle = 1;       // "Quillo-SA"
constexpr int kStringClassName = 3;   // "Tavo"
constexpr int kStringCapacity = 100;  // characters of the buffers the strings load into
// The string of `id`, or null when the table has none.
const char* LoadStringResource(int id);

// ---- Commands (WM_COMMAND ids) ------------------------------------------------------------

constexpr int kCommandQuit = 1;  // Ctrl+Q: close without saving
constexpr int kCommandExit = 40025;
constexpr int kCommandAbout = 40003;
constexpr int kCommandOption = 40008;
constexpr int kCommandSpectrogram = 40009;
constexpr int kCommandSpectrum = 40060;
constexpr int kCommandContent = 40019;
constexpr int kCommandDbGrid = 1202;
constexpr int kCommandPause = 1203;
constexpr int kCommandDbLabels = 1205;
constexpr int kCommandNoise = 1206;
constexpr int kCommandFreqGrid = 1207;
constexpr int kCommandAutoRange = 1208;
constexpr int kCommandAccuratePitch = 40070;  // checked item: the accurate pitch estimator
// Every command the main window carries out (menus, buttons, keys), as a script may send it.
constexpr int kMainWindowCommands[] = {
    kCommandQuit,        kCommandExit,          kCommandAbout,   kCommandOption,
    kCommandSpectrogram, kCommandSpectrum,      kCommandContent, kCommandDbGrid,
    kCommandPause,       kCommandDbLabels,      kCommandNoise,   kCommandFreqGrid,
    kCommandAutoRange,   kCommandAccuratePitch,
};
// Dialog buttons.
constexpr int kCommandOk = 1;
constexpr int kCommandCancel = 2;

// ---- Menu bar -----------------------------------------------------------------------------

constexpr int kMenuBarResource = 102;

// A drop-down menu's item; command 0 is a separator.
struct MenuItemResource {
    int command;
    const char* text;
};
struct DropDownResource {
    const char* text;
    const MenuItemResource* items;
    int count;
};
constexpr int kMenuBarMenuCount = 3;
extern const DropDownResource MenuBarMenus[kMenuBarMenuCount];  // "Start", "Control", "Help"

// Button strips: 16 x 16 images side by side.
constexpr int kBitmapSpectrumNoiseOn = 125;
constexpr int kBitmapSpectrogramNoiseOn = 126;
constexpr int kBitmapSpectrumNoiseOff = 127;
constexpr int kBitmapSpectrogramNoiseOff = 128;
// The image counts handed over with the strips (the strips themselves hold 4 and 6).
constexpr int kSpectrogramImageCount = 7;
constexpr int kSpectrumImageCount = 9;

// One image button of the menu bar: the image's index in the bar's strip and its command.
struct MenuBarButton {
    int image;
    int command;
};
constexpr int kSpectrogramButtonCount = 4;
constexpr int kSpectrumButtonCount = 6;
extern const MenuBarButton SpectrogramButtons[kSpectrogramButtonCount];
extern const MenuBarButton SpectrumButtons[kSpectrumButtonCount];

// ---- Accelerators -------------------------------------------------------------------------

// A keyboard accelerator: Ctrl + `key` (an upper-case letter) sends WM_COMMAND `command`.
struct Accelerator {
    char key;
    int command;
};
constexpr int kAcceleratorCount = 2;
extern const Accelerator AcceleratorTable[kAcceleratorCount];  // Ctrl+A, Ctrl+Q

// ---- Dialogs ------------------------------------------------------------------------------

constexpr int kAboutDialog = 103;
constexpr int kOptionsDialog = 119;

enum class ControlKind {
    kPushButton,
    kDefaultPushButton,
    kGroupBox,
    kLabel,
    kEdit,
    kRadioButton,
    kIcon,
};

// One control; positions and sizes in dialog units. A control with `groupStart` begins a
// new group of radio buttons (arrow keys move within a group, Tab between groups).
struct DialogControlResource {
    int id;  // -1: static controls that are never addressed
    ControlKind kind;
    const char* text;
    int x, y, width, height;
    bool groupStart;
};

struct DialogResource {
    int id;
    const char* caption;
    int width, height;  // dialog units
    int fontPoints;
    const DialogControlResource* controls;  // in tab order
    int count;
};
// The template of `id`, or null.
const DialogResource* FindDialogResource(int id);

// The Setting dialog's controls.
constexpr int kControlLog = 1008;
constexpr int kControlLinear = 1009;
constexpr int kControlDbMin = 1003;
constexpr int kControlDbMax = 1004;
constexpr int kControlNarrow = 1068;
constexpr int kControlResolutionMedium = 1069;
constexpr int kControlWide = 1070;
constexpr int kControlShort = 1064;
constexpr int kControlAveragingMedium = 1065;
constexpr int kControlLong = 1066;
constexpr int kControlPeakNone = 1067;
constexpr int kControlCalibrate = 1071;
constexpr int kControlMusic = 1072;
constexpr int kControlRate11025 = 1074;
constexpr int kControlRate22050 = 1075;
constexpr int kControlFilterNone = 1073;
constexpr int kControlAuditory = 1076;
constexpr int kControlHum = 1077;
