// Start-up: the entry point and message loop, the main window, the device profile, and the
// one-time set-up of drawing and views.
#include "shell/startup.h"

#include <cstdio>
#include <cstring>

#include "analysis/accurate_pitch.h"
#include "analysis/analysis.h"
#include "raster/display.h"
#include "raster/font.h"
#include "raster/surface.h"
#include "resources/resources.h"
#include "shell/main_window.h"
#include "shell/options_dialog.h"
#include "shell/pitch_choice.h"
#include "shell/shell.h"
#include "views/axes.h"
#include "views/block_view.h"
#include "views/colour_strip.h"
#include "views/readout.h"
#include "views/view_state.h"

void* MainWindow = nullptr;

namespace {

constexpr int kMenuBarHeight = 26;  // pixels taken from the bottom of the window rectangle

// The records as the program starts with them, taken before main runs.
struct StartState {
    AnalyzerSettingsRecord settings = AnalyzerSettings;
    PitchLockRecord pitchLock = PitchLock;
    ViewStateRecord viewState = ViewState;
    ReadoutStateRecord readout = ReadoutState;
    FadeStateRecord fade = FadeState;
    MainWindowStateRecord mainWindow = MainWindowState;
} const startState;

void ClearSurface(FrameSurface& surface) {
    if (surface.pixels != nullptr) {
        std::memset(surface.pixels, 0, sizeof(uint16_t) * surface.width * surface.height);
    }
}

void WriteDiagnosticFile(int left, int top, int width, int height) {
    const char* path = DiagnosticFilePath();
    if (path == nullptr) return;
    FILE* file = std::fopen(path, "w");
    if (file == nullptr) return;
    std::fprintf(file, "%d %d %d %d\n", left, top, width, height);
    std::fclose(file);
}

bool DeviceProfileFromOemText() {
    char16_t text[kOemTextLength] = {};
    if (!ReadOemText(text, kOemTextLength)) return false;
    return IsDeviceProfileText(text, kOemTextLength);
}

}  // namespace

bool IsDeviceProfileText(const char16_t* text, int length) {
    auto at = [text, length](int i) { return i < length ? text[i] : u'\0'; };
    return (at(0) == u'P' && at(10) == u'J' && at(11) == u'6') ||
           (at(0) == u'H' && at(3) == u'J' && at(11) == u'5');
}

void RegisterMainWindowClass(const char*) {}

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
    RegisterMainWindowClass(className);
    LoadPitchChoice();  // before the menu bar, which shows it
    MainWindow = CreateMainWindow(className, title, MainWindowProc);
    if (MainWindow == nullptr) return false;
    if (!OpenDisplay(MainWindow)) return false;
    SetDeviceProfile(DeviceProfileFromOemText());

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
    MainWindow = nullptr;
    MainWindowState = startState.mainWindow;
    lastResolution = 0;
    ViewMode = 0;
    deviceProfile = false;
    AnalyzerSettings = startState.settings;
    SampleRing = {};
    analysisTurn = true;
    samplesSinceFrame = 0;
    BlockCounter = {};
    std::memset(FrameEarly, 0, sizeof FrameEarly);
    std::memset(FrameLate, 0, sizeof FrameLate);
    NoiseReference = {};
    AutoRange = {};
    PitchLock = startState.pitchLock;

    PitchTracker = {};
    PitchChoice = {};
    ResetAccuratePitch();
    std::memset(PowerSpectrumEarly, 0, sizeof PowerSpectrumEarly);
    std::memset(PowerSpectrumLate, 0, sizeof PowerSpectrumLate);

    ViewState = startState.viewState;
    ReadoutState = startState.readout;
    std::memset(SmoothedLevels, 0, sizeof SmoothedLevels);
    std::memset(PeakHoldRecord, 0, sizeof PeakHoldRecord);

    FadeState = startState.fade;
    ClearSurface(CanvasSurface);
    ClearSurface(OverlaySurface);
}
