#include "tests/shell/shell_test_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "analysis/analysis.h"
#include "platform/display_memory.h"
#include "platform/platform.h"
#include "raster/display.h"
#include "raster/font.h"
#include "raster/surface.h"
#include "shell/shell.h"
#include "views/axes.h"
#include "views/block_view.h"
#include "views/colour_strip.h"
#include "views/readout.h"
#include "views/view_state.h"

namespace {

std::string settingsPath;

// The records as the program starts with them, taken before any test runs.
struct StartState {
    AnalyzerSettingsRecord settings = AnalyzerSettings;
    PitchLockRecord pitchLock = PitchLock;
    ViewStateRecord viewState = ViewState;
    ReadoutStateRecord readout = ReadoutState;
    FadeStateRecord fade = FadeState;
} const startState;

const std::string& TempFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/quillo-shell-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return folder;
}

void ClearSurface(FrameSurface& surface) {
    if (surface.pixels != nullptr) {
        std::memset(surface.pixels, 0, sizeof(uint16_t) * surface.width * surface.height);
    }
}

void ResetRecords() {
    ViewMode = 0;
    deviceProfile = false;
    AnalyzerSettings = startState.settings;
    SampleRing = {};
    analysisTurn = true;
    samplesSinceFrame = 0;
    std::memset(FrameEarly, 0, sizeof FrameEarly);
    std::memset(FrameLate, 0, sizeof FrameLate);
    NoiseReference = {};
    AutoRange = {};
    PitchLock = startState.pitchLock;

    PitchTracker = {};
    std::memset(PowerSpectrumEarly, 0, sizeof PowerSpectrumEarly);
    std::memset(PowerSpectrumLate, 0, sizeof PowerSpectrumLate);

    ViewState = startState.viewState;
    ReadoutState = startState.readout;
    std::memset(SmoothedLevels, 0, sizeof SmoothedLevels);
    std::memset(PeakHoldRecord, 0, sizeof PeakHoldRecord);

    FadeState = startState.fade;
    ClearSurface(CanvasSurface);
    ClearSurface(OverlaySurface);
    CloseDisplay();
    ResumeDrawing();
    std::memset(&MemoryDisplay, 0, sizeof MemoryDisplay);
}

}  // namespace

const char* SettingsFilePath() {
    return settingsPath.empty() ? nullptr : settingsPath.c_str();
}

void UseSettingsPath(const std::string& path) {
    settingsPath = path;
}

std::string NewSettingsPath() {
    static int serial = 0;
    std::ostringstream path;
    path << TempFolder() << "/setting-" << getpid() << "-" << ++serial << ".txt";
    std::remove(path.str().c_str());
    return path.str();
}

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void StartCore(bool deviceProfileOn) {
    ResetRecords();
    SetDeviceProfile(deviceProfileOn);
    SetDisplayBackEnd(&MemoryDisplayBackEnd);
    OpenDisplay(nullptr);
    // The main window on the 240 x 320 screen, less the 26-pixel menu bar.
    SetDisplayViewport(26, 268);
    SetViewArea(0, 26, 240, 268);
    InitFont();
    SetPenColour(1, 255, 255, 0);
    BuildColourMap(256, 0.3f, 0.2f, 0.2f);
    SetDbLabelsVisible(true);
    DrawReadoutBand();
    LoadSettings();
    DrawTimeAxis(AnalyzerSettings.captureRate, 240, AnalyzerSettings.timeTickMs);
}

uint16_t ScreenPixel(int x, int y) {
    return MemoryDisplay.pixels[(ViewArea.top + y) * kMemoryDisplayWidth + x];
}
