// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: the entry point and message loop, the main window, the device profile, and the
// one-time set-up of drawing and views.
#include "shell/startup.h"

#include <cstdio>
#include <cstring>

#include "analysis/accurate_pitch.h"
#include "analysis/analysis.h"
#include "raster/display.h"
#include "raster/display_backend.h"
#include "raster/font.h"
#include "raster/surface.h"
#include "resources/resources.h"
#include "shell/choices.h"
#include "shell/host.h"
#include "shell/main_window.h"
#include "shell/options_dialog.h"
#include "shell/pipeline.h"
#include "shell/pitch_choice.h"
#include "shell/reference_pitch.h"
#include "shell/settings.h"
#include "views/axes.h"
#include "views/block_view.h"
#include "views/level_tables.h"
#include "views/readout.h"
#include "views/view_state.h"

namespace {

constexpr int kMenuBarHeight = 26;  // pixels taken from the bottom of the window rectangle

// Replaced in one step and never through a symlink: a link planted at its place is replaced,
// not followed.
void WriteDiagnosticFile(int left, int top, int width, int height) {
    const char* path = DiagnosticFilePath();
    if (path == nullptr) return;
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%d %d %d %d\n", left, top, width, height);
    ReplaceFile(path, text, length, false);
}

}  // namespace

bool MachineHasDeviceProfile() {
    char16_t text[kOemTextLength] = {};
    if (!ReadOemText(text, kOemTextLength)) return false;
    return IsDeviceProfileText(text, kOemTextLength);
}

bool IsDeviceProfileText(const char16_t* text, int length) {
    auto at = [text, length](int i) { return i < length ? text[i] : u'\0'; };
    return (at(0) == u'P' && at(10) == u'J' && at(11) == u'6') ||
           (at(0) == u'H' && at(3) == u'J' && at(11) == u'5');
}

void InitViews(void*, int left, int top, int width, int height) {
    SetDisplayViewport(top, height);
    WriteDiagnosticFile(left, top, width, height);
    SetViewArea(left, top, width, height);
    InitFont();
    SetPenColour(1, 255, 255, 0);
    BuildColourMap(256, 0.3f, 0.2f, 0.2f);
    SetDbLabelsVisible(true);
    DrawReadoutBand();
    LoadSettings();
    DrawTimeAxis(AnalyzerSettings.captureRate, 240, AnalyzerSettings.timeTickMs);
}

bool InitMainWindow() {
    const char* className = LoadStringResource(kStringClassName);
    const char* title = LoadStringResource(kStringTitle);
    if (RaiseRunningInstance()) return false;
    LoadPitchChoice();  // before the menu bar, which shows it
    LoadReferencePitch();
    MainWindow = CreateMainWindow(className, title, MainWindowProc);
    if (MainWindow == nullptr) return false;
    if (!OpenDisplay(MainWindow)) return false;
    SetDeviceProfile(MachineHasDeviceProfile());

    WindowRect rect = GetMainWindowRect();
    rect.bottom -= kMenuBarHeight;
    InitViews(MainWindow, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    // Right and bottom stand for width and height, as they do on a window at the left edge.
    if (MainWindowState.menuBar != nullptr) {
        MoveMainWindow(rect.left, rect.top, rect.right, rect.bottom);
    }
    ShowMainWindow();
    return true;
}

int RunProgram() {
    if (!InitMainWindow()) return 0;
    return RunMessageLoop(AcceleratorTable, kAcceleratorCount);
}

void ResetProgramState() {
    ResetMainWindowState();
    ResetOptionsDialog();
    ResetSettings();
    ResetPipeline();
    ResetPitchTracker();
    ResetPitchChoice();
    ResetChoices();
    ClearPowerSpectra();
    ResetViewState();
    ResetReadoutState();
    ResetBlockView();
    ResetSurfaces();
}
