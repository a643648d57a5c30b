// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's procedure: first paint, draining, activation, commands, destruction.
#include "shell/main_window.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "capture/capture.h"
#include "raster/display.h"
#include "resources/resources.h"
#include "shell/capture_notice.h"
#include "shell/host.h"
#include "shell/options_dialog.h"
#include "shell/picture_mode.h"
#include "shell/pipeline.h"
#include "shell/pitch_choice.h"
#include "shell/settings.h"
#include "views/axes.h"
#include "views/readout.h"
#include "views/view_frame.h"
#include "views/view_state.h"

constexpr MainWindowStateRecord kInitialMainWindowState = {
    .captureStarted = false,
    .menuBar = nullptr,
    .window = nullptr,
    .dbLabelsOn = true,
    .dbGridOn = false,
    .freqGridOn = false,
    .inputAtRest = false,
    .captureFailed = false,
    .saveFailed = false,
    .stillBlocksDue = 0,
};
MainWindowStateRecord MainWindowState = kInitialMainWindowState;
void* MainWindow = nullptr;
void (*CaptureFailureHandler)() = nullptr;

namespace {

constexpr const char* kHelpPage = "Quillo-SA.htm";
constexpr const char* kHelpAnchor = "Main_Contents";
constexpr const char* kSpectrogramTitle = "Quillo-SA:Spectrogram";
constexpr const char* kSpectrumTitle = "Quillo-SA:Spectrum";
constexpr const char* kSaveFailedCaption = "Quillo-SA";

// Room for one block, reused for every block.
alignas(int16_t) uint8_t blockBuffer[kBlockBytes];

void StartCapture(void* window) {
    MainWindowState.captureStarted = true;
    MainWindowState.window = window;
    SetMainWindowTitle(kSpectrogramTitle);
    TheCaptureDevice.Close();
    TheCaptureDevice.Configure(OnCaptureNotify, CaptureReaderListening, kNormalThreadPriority,
                               kCaptureBufferCount, kCaptureBufferSize, 1,
                               AnalyzerSettings.captureRate, 16);
    TheCaptureDevice.SetRate(unsigned(PictureCaptureRate()));
    if (!TheCaptureDevice.Open()) {
        if (CaptureFailureHandler != nullptr) {
            CaptureFailureHandler();
            return;
        }
        MainWindowState.captureFailed = true;
        ShowMessageBox(window, "Sound input failed!", "Fatal error", kMessageBoxExclamation);
        PostMainWindowMessage(WM_CLOSE);
    }
}

// A toggle button shows its switch pressed while it is on.
void ToggleAndRedraw(int command, bool& flag, void (*setVisible)(bool)) {
    flag = !flag;
    CheckMenuBarItem(MainWindowState.menuBar, command, flag);
    setVisible(flag);
    RedrawViewFrame(ViewMode);
    ResumeDrawing();
}

// The screen keeps the last presented frame until the button is pressed again; everything
// behind it goes on.
void TogglePause() {
    pictureFrozen = !pictureFrozen;
    CheckMenuBarItem(MainWindowState.menuBar, kCommandPause, pictureFrozen);
    ResumeDrawing();
}

void ShowHelp(void* window) {
    if (ShowHelpPage(kHelpPage, kHelpAnchor)) return;
    ShowMessageBox(window, "The help page Quillo-SA.htm is missing: it comes with the program.",
                   "Help", kMessageBoxExclamation);
}

void ToggleNoiseReference() {
    const bool on = !NoiseReference.enabled;
    SetNoiseReferenceEnabled(on);
    RebuildMenuBar();
    ShowCalibrating(ViewMode, on);
    if (!on) RedrawViewFrame(ViewMode);
    ResumeDrawing();
}

// The view commands: title, view, menu bar, then the view's own sequence.
void ShowView(int view, const char* title, void (*enter)(int, int, int, uint8_t)) {
    SetMainWindowTitle(title);
    ViewMode = view;
    RebuildMenuBar();
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    enter(s.captureRate, s.fftSize, EffectiveRateSetting(), s.logScale);
    ResumeDrawing();
}

void ToggleAccuratePitch() {
    const bool on = PitchChoice.estimator != PitchEstimatorKind::kAccurate;
    SetPitchEstimator(on ? PitchEstimatorKind::kAccurate : PitchEstimatorKind::kClassic);
    CheckMenuBarItem(MainWindowState.menuBar, kCommandAccuratePitch, on);
    ResumeDrawing();
}

// "Exit": both files saved, then the window closes. A failed save is told in a box (which a
// headless run prints) and leaves the file as it was; the program still ends.
void SaveAndClose(void* window) {
    int reason = SaveSettings() ? 0 : errno;
    if (!SavePitchChoice() && reason == 0) reason = errno;
    if (reason != 0) {
        MainWindowState.saveFailed = true;
        char text[160];
        std::snprintf(text, sizeof text, "The settings could not be saved: %s",
                      std::strerror(reason));
        ShowMessageBox(window, text, kSaveFailedCaption, kMessageBoxExclamation);
    }
    PostMainWindowMessage(WM_CLOSE);
}

// Ctrl+Q: suspend drawing as deactivation does, then close without saving.
void QuitWithoutSaving(void* window) {
    MainWindowProc(window, WM_ACTIVATE, 0, reinterpret_cast<intptr_t>(window));
    MainWindowProc(window, WM_CLOSE, 0, 0);
}

// The dialog resumes drawing when it closes; one that cannot be shown (a headless run)
// must not leave the display suspended.
void OpenOptions(void* window) {
    SuspendDrawing();
    if (RunModalDialog(window, kOptionsDialog, OptionsDialogProc) < 0) ResumeDrawing();
    RedrawViewFrame(ViewMode);
}

// False for ids that are not commands of this window.
bool RunCommand(void* window, int command) {
    MainWindowStateRecord& w = MainWindowState;
    switch (command) {
        case kCommandQuit:
            QuitWithoutSaving(window);
            return true;
        case kCommandExit:
            SaveAndClose(window);
            return true;
        case kCommandAbout:
            RunModalDialog(window, kAboutDialog, AboutDialogProc);
            return true;
        case kCommandOption:
            OpenOptions(window);
            return true;
        case kCommandSpectrogram:
            ShowView(kSpectrogramView, kSpectrogramTitle, EnterSpectrogramView);
            return true;
        case kCommandSpectrum:
            ShowView(kSpectrumView, kSpectrumTitle, EnterSpectrumView);
            return true;
        case kCommandContent:
            ShowHelp(window);
            return true;
        case kCommandDbGrid:
            ToggleAndRedraw(kCommandDbGrid, w.dbGridOn, SetDbGridVisible);
            return true;
        case kCommandFreqGrid:
            ToggleAndRedraw(kCommandFreqGrid, w.freqGridOn, SetFreqGridVisible);
            return true;
        case kCommandDbLabels:
            ToggleAndRedraw(kCommandDbLabels, w.dbLabelsOn, SetDbLabelsVisible);
            return true;
        case kCommandNoise:
            ToggleNoiseReference();
            return true;
        case kCommandAutoRange:
            StartAutoRange();
            ResumeDrawing();
            return true;
        case kCommandPause:
            TogglePause();
            return true;
        case kCommandAccuratePitch:
            ToggleAccuratePitch();
            return true;
        default:
            return false;
    }
}

// While no input plays, no block presents what a command redrew (a view switch after a file
// ended would keep the old picture under the new title); the command presents it itself.
void PresentAtRest() {
    if (MainWindowState.inputAtRest && !pictureFrozen) PresentFrame();
}

void DestroyWindow() {
    TheCaptureDevice.Close();
    CloseDisplay();
    DestroyMenuBar(MainWindowState.menuBar);
    MainWindowState.menuBar = nullptr;
    PostQuitMessage(0);
}

}  // namespace

void* BuildMenuBar(int view) {
    void* bar = CreateMenuBar(MainWindow, kMenuBarResource);
    if (bar == nullptr) return nullptr;
    CheckMenuBarItem(bar, kCommandAccuratePitch,
                     PitchChoice.estimator == PitchEstimatorKind::kAccurate);
    const bool noiseOn = NoiseReference.enabled;
    if (view == kSpectrumView) {
        AddMenuBarBitmap(bar, noiseOn ? kBitmapSpectrumNoiseOn : kBitmapSpectrumNoiseOff,
                         kSpectrumImageCount);
        AddMenuBarButtons(bar, SpectrumButtons, kSpectrumButtonCount);
    } else {
        AddMenuBarBitmap(bar, noiseOn ? kBitmapSpectrogramNoiseOn : kBitmapSpectrogramNoiseOff,
                         kSpectrogramImageCount);
        AddMenuBarButtons(bar, SpectrogramButtons, kSpectrogramButtonCount);
    }
    // The current view's item and the switches that are on show checked; a bar without a
    // button ignores its mark.
    const MainWindowStateRecord& w = MainWindowState;
    CheckMenuBarItem(bar, kCommandSpectrum, view == kSpectrumView);
    CheckMenuBarItem(bar, kCommandSpectrogram, view != kSpectrumView);
    CheckMenuBarItem(bar, kCommandPause, pictureFrozen);
    CheckMenuBarItem(bar, kCommandDbGrid, w.dbGridOn);
    CheckMenuBarItem(bar, kCommandFreqGrid, w.freqGridOn);
    CheckMenuBarItem(bar, kCommandDbLabels, w.dbLabelsOn);
    return bar;
}

void RebuildMenuBar() {
    DestroyMenuBar(MainWindowState.menuBar);
    MainWindowState.menuBar = BuildMenuBar(ViewMode);
    PostMainWindowMessage(WM_PAINT);
}

intptr_t AboutDialogProc(void* dialog, unsigned message, uintptr_t wParam, intptr_t) {
    if (message == WM_INITDIALOG) return 1;
    if (message == WM_COMMAND && (wParam & 0xFFFF) == kCommandOk) {
        EndDialog(dialog, 1);
        return 1;
    }
    return 0;
}

namespace {

// The backlog dropped whole, and the blocks read per notice, for the picture shown.
unsigned CatchUpBytes() {
    if (PictureModeState.mode != PictureMode::kFull) return kCatchUpBytes;
    const CaptureDevice& device = TheCaptureDevice;
    const unsigned span = unsigned(kFullCatchUpSeconds * device.format.nAvgBytesPerSec);
    const unsigned roomy = device.queueSize > kBlockBytes ? device.queueSize - kBlockBytes : 0;
    return std::max(kCatchUpBytes, std::min(span, roomy));
}

int BlocksPerNotice() {
    return PictureModeState.mode == PictureMode::kFull ? int(kCaptureBufferCount)
                                                       : kBlocksPerNotice;
}

// The buffers' worth of one delivery while the picture stands still.
unsigned StillFragmentBuffers(const CaptureDevice& device) {
    const double buffers =
        kStillFragmentSeconds * device.format.nAvgBytesPerSec / device.bufferSize;
    return std::clamp(unsigned(buffers + 0.5), 1u, std::max(1u, device.bufferCount / 2u));
}

// While the picture stands still the source is asked for large deliveries, and for one buffer
// at a time once it moves again.
void FollowPictureStillness() {
    CaptureDevice& device = TheCaptureDevice;
    if (!device.configured) return;
    const unsigned wanted = PictureStill() ? StillFragmentBuffers(device) : 1;
    const unsigned asked = device.fragmentBuffers;
    if (wanted == asked || !device.SetFragmentBuffers(wanted)) return;
    // At most one large delivery is on its way besides what is queued.
    if (wanted < asked) {
        MainWindowState.stillBlocksDue = int(device.AvailableBytes() / kBlockBytes + asked);
    }
}

intptr_t HandleMessage(void* window, unsigned message, uintptr_t wParam, intptr_t lParam);

}  // namespace

void DrainCapturedAudio() {
    FollowPictureStillness();
    CaptureDevice& device = TheCaptureDevice;
    MainWindowStateRecord& w = MainWindowState;
    const bool whole = PictureStill() || w.stillBlocksDue > 0;
    const bool full = PictureModeState.mode == PictureMode::kFull;
    const unsigned queued = device.AvailableBytes();
    if (!whole && queued >= CatchUpBytes()) {
        for (unsigned i = 0; i < queued / 2; ++i) {
            // Fails harmlessly once fewer are queued.
            if (device.Read(blockBuffer, kBlockBytes)) BlockCounter.dropped += 1;
        }
    }
    const int blocks = whole ? int(device.bufferCount) : BlocksPerNotice();
    for (int i = 0; i < blocks && device.AvailableBytes() >= kBlockBytes / 2; ++i) {
        if (!device.Read(blockBuffer, kBlockBytes)) break;
        const unsigned remaining = device.AvailableBytes();
        // The full view logs every block, drawn or not.
        const bool skipOutput = remaining > kSkipOutputBytes && (full || !whole);
        if (w.stillBlocksDue > 0) w.stillBlocksDue -= 1;
        ConsumeBlock(reinterpret_cast<const int16_t*>(blockBuffer), kBlockBytes / 2, skipOutput);
    }
    ArmCaptureNotify();
}

intptr_t MainWindowProc(void* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    const intptr_t result = HandleMessage(window, message, wParam, lParam);
    // Whatever paused, resumed, hid or showed the picture: the source follows at once.
    FollowPictureStillness();
    return result;
}

namespace {

intptr_t HandleMessage(void* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_CREATE:
            // Creation has not returned the handle yet; the bar needs it as its parent.
            MainWindow = window;
            MainWindowState.menuBar = BuildMenuBar(kSpectrogramView);
            return 0;
        case WM_PAINT:
            if (!MainWindowState.captureStarted) StartCapture(window);
            return 0;
        case WM_ACTIVATE:
            if (wParam != 0) {
                ResumeDrawing();
            } else {
                SuspendDrawing();
            }
            return 0;
        case WM_KILLFOCUS:
        case WM_CANCELMODE:
        case kSuspendMessage:
            SuspendDrawing();
            return 0;
        case WM_LBUTTONDOWN:
            return 0;
        case WM_LBUTTONUP:
            ResumeDrawing();
            return 0;
        case kWaveInDataMessage:
            DrainCapturedAudio();
            return 0;
        case WM_COMMAND:
            if (RunCommand(window, int(wParam & 0xFFFF))) {
                PresentAtRest();
                return 0;
            }
            break;
        case WM_DESTROY:
            DestroyWindow();
            return 0;
        default:
            break;
    }
    return DefaultWindowProc(window, message, wParam, lParam);
}

}  // namespace

void SetInputAtRest(bool atRest) {
    MainWindowState.inputAtRest = atRest;
    PresentAtRest();
}

void ResetMainWindowState() {
    MainWindow = nullptr;
    MainWindowState = kInitialMainWindowState;
}
