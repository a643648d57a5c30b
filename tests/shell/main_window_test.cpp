// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and the main window's messages and commands, against the recording window
// system: what the user would see (titles, menu bars, the picture) and what is saved.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/headless/display_memory.h"
#include "raster/display.h"
#include "raster/surface.h"
#include "resources/resources.h"
#include "shell/host.h"
#include "shell/main_window.h"
#include "shell/pipeline.h"
#include "shell/pitch_log.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "tests/shell/fake_window.h"
#include "tests/shell/shell_test_support.h"
#include "views/view_frame.h"
#include "views/view_state.h"

namespace {

std::vector<uint16_t> Surface(const FrameSurface& s) {
    return std::vector<uint16_t>(s.pixels, s.pixels + s.width * s.height);
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFakeWindow();
        path = NewSettingsPath();
        UseSettingsPath(path);
    }
    // The program's start-up on the in-memory display, up to the shown window.
    bool StartProgram() {
        ResetProgramState();
        CloseDisplay();
        ResumeDrawing();
        SetDisplayBackEnd(&MemoryDisplayBackEnd);
        return InitMainWindow();
    }
    const FakeMenuBar& Bar() {
        const FakeMenuBar* bar = CurrentFakeMenuBar(MainWindowState.menuBar);
        EXPECT_NE(bar, nullptr);
        static const FakeMenuBar none;
        return bar != nullptr ? *bar : none;
    }
    std::string path;
};

TEST_F(MainWindowTest, StartUpBuildsTheSpectrogramBarWritesTheDiagnosticLineAndShows) {
    FakeWindow.diagnosticPath = NewSettingsPath();
    ASSERT_TRUE(StartProgram());
    EXPECT_TRUE(FakeWindow.windowShown);
    EXPECT_EQ(Bar().bitmap, kBitmapSpectrogramNoiseOff);
    EXPECT_EQ(Bar().imageCount, 7);
    EXPECT_EQ(Bar().commands, (std::vector<int>{1203, 1205, 1206, 1208}));
    EXPECT_EQ(ReadTextFile(FakeWindow.diagnosticPath), "0 26 240 268\n");
    // Right and bottom are passed as width and height.
    EXPECT_EQ(std::vector<int>(FakeWindow.moved, FakeWindow.moved + 4),
              (std::vector<int>{0, 26, 240, 294}));
    EXPECT_EQ(ViewArea.top, 26);
    EXPECT_EQ(ViewArea.height, 268);
    EXPECT_FALSE(deviceProfile);
    // The first paint is queued, nothing else.
    ASSERT_EQ(FakeWindow.posted.size(), 1u);
    EXPECT_EQ(FakeWindow.posted[0].message, WM_PAINT);
}

TEST_F(MainWindowTest, StartUpEndsWithCodeZeroWhenItCannotGoOn) {
    FakeWindow.otherInstanceRuns = true;
    EXPECT_FALSE(StartProgram());
    EXPECT_FALSE(FakeWindow.windowCreated);
    EXPECT_EQ(RunProgram(), 0);

    ResetFakeWindow();
    FakeWindow.windowCreationFails = true;
    EXPECT_FALSE(StartProgram());

    ResetFakeWindow();
    ResetProgramState();
    SetDisplayBackEnd(nullptr);  // no screen
    EXPECT_FALSE(InitMainWindow());
    EXPECT_FALSE(FakeWindow.windowShown);
}

TEST_F(MainWindowTest, WithoutAMenuBarTheWindowIsNotMoved) {
    FakeWindow.menuBarFails = true;
    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(MainWindowState.menuBar, nullptr);
    EXPECT_EQ(FakeWindow.moved[3], 0);
    SendCommand(kCommandSpectrum);  // rebuilding fails again, harmlessly
    EXPECT_EQ(MainWindowState.menuBar, nullptr);
}

TEST_F(MainWindowTest, OemTextSelectsTheDeviceProfile) {
    const char16_t* matches[] = {u"PxxxxxxxxxJ6", u"HxxJxxxxxxx5", u"PocketPC JJ6 rest"};
    for (const char16_t* text : matches) {
        const std::u16string s(text);
        EXPECT_TRUE(IsDeviceProfileText(s.c_str(), static_cast<int>(s.size())))
            << std::string(s.begin(), s.end());
    }
    const char16_t* others[] = {u"PxxxxxxxxxK6", u"HxxJxxxxxxx6", u"P", u"", u"xxxJxxxxxxJ6"};
    for (const char16_t* text : others) {
        const std::u16string s(text);
        EXPECT_FALSE(IsDeviceProfileText(s.c_str(), static_cast<int>(s.size())))
            << std::string(s.begin(), s.end());
    }

    FakeWindow.haveOemText = true;
    FakeWindow.oemText = u"HxxJxxxxxxx5";
    ASSERT_TRUE(StartProgram());
    EXPECT_TRUE(deviceProfile);
    EXPECT_EQ(AnalyzerSettings.captureRate, 11025);
    EXPECT_EQ(AnalyzerSettings.fftSize, 512);
    EXPECT_EQ(AnalyzerSettings.timeTickMs, 2);

    ResetFakeWindow();  // a failed query is no match
    ASSERT_TRUE(StartProgram());
    EXPECT_FALSE(deviceProfile);
    EXPECT_EQ(AnalyzerSettings.captureRate, 22050);
}

TEST_F(MainWindowTest, CtrlQClosesWithoutSavingAndExitSavesFirst) {
    ASSERT_TRUE(StartProgram());
    FakeWindow.posted.clear();
    SendCommand(kCommandQuit);
    EXPECT_TRUE(drawingSuspended);
    EXPECT_TRUE(FakeWindow.windowDestroyed);
    EXPECT_EQ(FakeWindow.quitCode, 0);
    EXPECT_FALSE(displayOpen);
    EXPECT_EQ(ReadTextFile(path), "");

    ResetFakeWindow();
    ASSERT_TRUE(StartProgram());
    FakeWindow.posted.clear();
    AnalyzerSettings.dbMax = 90;
    SendCommand(kCommandExit);
    EXPECT_EQ(ReadTextFile(path), "0 90 20 0 1 2 1 2");
    EXPECT_FALSE(FakeWindow.windowDestroyed);  // the close is posted
    DeliverPostedMessages();
    EXPECT_TRUE(FakeWindow.windowDestroyed);
    EXPECT_EQ(FakeWindow.quitCode, 0);
}

// A full disk (a file size limit here) or a missing folder: the file keeps what it held, the
// user is told in a failure box, and the window still closes.
TEST_F(MainWindowTest, AnExitWhoseSaveFailsKeepsTheFileSaysSoAndCloses) {
    WriteTextFile(path, "1 90 30 2 1 2 1 2");
    ASSERT_TRUE(StartProgram());
    FakeWindow.posted.clear();
    AnalyzerSettings.dbMax = 100;
    AnalyzerSettings.dbMin = 0;
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const struct rlimit small = {8, saved.rlim_max};
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    SendCommand(kCommandExit);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(ReadTextFile(path), "1 90 30 2 1 2 1 2");
    ASSERT_EQ(FakeWindow.messageBoxes.size(), 1u);
    EXPECT_EQ(FakeWindow.messageBoxes[0].icon, kMessageBoxExclamation);
    EXPECT_NE(FakeWindow.messageBoxes[0].text.find("could not be saved: File too large"),
              std::string::npos)
        << FakeWindow.messageBoxes[0].text;
    EXPECT_TRUE(MainWindowState.saveFailed);
    DeliverPostedMessages();
    EXPECT_TRUE(FakeWindow.windowDestroyed);

    ResetFakeWindow();
    UseSettingsPath(path + ".d/setting.txt");
    ASSERT_TRUE(StartProgram());
    SendCommand(kCommandExit);
    ASSERT_EQ(FakeWindow.messageBoxes.size(), 1u);
    EXPECT_NE(FakeWindow.messageBoxes[0].text.find("No such file or directory"), std::string::npos);
}

TEST_F(MainWindowTest, ViewSwitchesSetTitleBarAndFrameAsTheirSequences) {
    StartCore();
    EnterSpectrumView(22050, 1024, 1, 0);
    const std::vector<uint16_t> spectrumOverlay = Surface(OverlaySurface);
    const std::vector<uint16_t> spectrumCanvas = Surface(CanvasSurface);

    ASSERT_TRUE(StartProgram());
    void* firstBar = MainWindowState.menuBar;
    FakeWindow.posted.clear();
    SuspendDrawing();
    SendCommand(kCommandSpectrum);
    EXPECT_EQ(ViewMode, kSpectrumView);
    EXPECT_EQ(FakeWindow.titles.back(), "Quillo-SA:Spectrum");
    EXPECT_TRUE(CurrentFakeMenuBar(firstBar)->destroyed);
    EXPECT_EQ(Bar().bitmap, kBitmapSpectrumNoiseOff);
    EXPECT_EQ(Bar().imageCount, 9);
    EXPECT_EQ(Bar().commands, (std::vector<int>{1203, 1202, 1207, 1205, 1206, 1208}));
    ASSERT_FALSE(FakeWindow.posted.empty());
    EXPECT_EQ(FakeWindow.posted.back().message, WM_PAINT);
    EXPECT_FALSE(drawingSuspended);
    EXPECT_EQ(ViewState.resetPending, 1);
    EXPECT_TRUE(Surface(OverlaySurface) == spectrumOverlay);
    EXPECT_TRUE(Surface(CanvasSurface) == spectrumCanvas);

    SendCommand(kCommandSpectrogram);
    EXPECT_EQ(ViewMode, kSpectrogramView);
    EXPECT_EQ(FakeWindow.titles.back(), "Quillo-SA:Spectrogram");
    EXPECT_EQ(Bar().bitmap, kBitmapSpectrogramNoiseOff);
    EXPECT_EQ(Bar().commands.size(), 4u);
    StartCore();
    EnterSpectrumView(22050, 1024, 1, 0);
    ViewMode = kSpectrogramView;
    EnterSpectrogramView(22050, 1024, 1, 0);
    const std::vector<uint16_t> expected = Surface(OverlaySurface);
    ASSERT_TRUE(StartProgram());
    SendCommand(kCommandSpectrum);
    SendCommand(kCommandSpectrogram);
    EXPECT_TRUE(Surface(OverlaySurface) == expected);
}

TEST_F(MainWindowTest, ToggleButtonsRedrawTheFrame) {
    ASSERT_TRUE(StartProgram());
    SendCommand(kCommandSpectrum);
    auto gridPixels = [] {
        int n = 0;
        for (int y = 86; y < 255; ++y) {
            for (int x = 0; x < 200; ++x)
                n += OverlaySurface.pixels[y * OverlaySurface.width + x] != 0;
        }
        return n;
    };
    const int plain = gridPixels();
    SuspendDrawing();
    SendCommand(kCommandDbGrid);
    EXPECT_TRUE(MainWindowState.dbGridOn);
    EXPECT_FALSE(drawingSuspended);
    const int withDbGrid = gridPixels();
    EXPECT_GT(withDbGrid, plain + 200);
    SendCommand(kCommandFreqGrid);
    EXPECT_GT(gridPixels(), withDbGrid + 100);
    SendCommand(kCommandFreqGrid);
    SendCommand(kCommandDbGrid);
    EXPECT_EQ(gridPixels(), plain);

    const std::vector<uint16_t> labelled = Surface(OverlaySurface);
    SendCommand(kCommandDbLabels);
    EXPECT_FALSE(MainWindowState.dbLabelsOn);
    EXPECT_EQ(ViewState.dbLabelsVisible, 0);
    EXPECT_FALSE(Surface(OverlaySurface) == labelled);
    SendCommand(kCommandDbLabels);
    EXPECT_TRUE(Surface(OverlaySurface) == labelled);
}

TEST_F(MainWindowTest, NoiseButtonPressedTwiceSwitchesTheReferenceOffAndErasesTheNotice) {
    ASSERT_TRUE(StartProgram());
    SendCommand(kCommandSpectrum);
    const std::vector<uint16_t> before = Surface(OverlaySurface);
    SendCommand(kCommandNoise);
    EXPECT_TRUE(NoiseReference.enabled);
    EXPECT_EQ(NoiseReference.runState, 1);
    EXPECT_EQ(Bar().bitmap, kBitmapSpectrumNoiseOn);
    EXPECT_FALSE(Surface(OverlaySurface) == before);  // "Calibrating"
    NoiseReference.runState = 2;                      // measuring
    SendCommand(kCommandNoise);
    EXPECT_FALSE(NoiseReference.enabled);
    EXPECT_FALSE(NoiseReference.valid);
    EXPECT_EQ(NoiseReference.runState, 2);  // kept until the next switch-on restarts it
    EXPECT_EQ(Bar().bitmap, kBitmapSpectrumNoiseOff);
    EXPECT_TRUE(Surface(OverlaySurface) == before);

    SendCommand(kCommandSpectrogram);
    SendCommand(kCommandNoise);
    EXPECT_EQ(Bar().bitmap, kBitmapSpectrogramNoiseOn);
}

TEST_F(MainWindowTest, ActivationFocusAndTapsSuspendAndResumeDrawing) {
    ASSERT_TRUE(StartProgram());
    void* w = MainWindow;
    const unsigned suspending[] = {WM_KILLFOCUS, WM_CANCELMODE, kSuspendMessage};
    for (unsigned message : suspending) {
        ResumeDrawing();
        EXPECT_EQ(MainWindowProc(w, message, 0, 0), 0);
        EXPECT_TRUE(drawingSuspended) << message;
    }
    MainWindowProc(w, WM_LBUTTONDOWN, 0, 0);
    EXPECT_TRUE(drawingSuspended);
    MainWindowProc(w, WM_LBUTTONUP, 0, 0);
    EXPECT_FALSE(drawingSuspended);
    MainWindowProc(w, WM_ACTIVATE, 0, 0);
    EXPECT_TRUE(drawingSuspended);
    MainWindowProc(w, WM_ACTIVATE, 1, 0);
    EXPECT_FALSE(drawingSuspended);
}

TEST_F(MainWindowTest, HelpAboutAndAutoRange) {
    ASSERT_TRUE(StartProgram());
    SendCommand(kCommandContent);
    ASSERT_EQ(FakeWindow.helpPages.size(), 1u);
    EXPECT_EQ(FakeWindow.helpPages[0], "Quillo-SA.htm#Main_Contents");

    FakeWindow.dialogUser = [](void* dialog) {
        AboutDialogProc(dialog, WM_COMMAND, kCommandOk, 0);
    };
    SendCommand(kCommandAbout);
    EXPECT_EQ(FakeWindow.dialogsRun.back(), kAboutDialog);
    EXPECT_EQ(FakeWindow.dialogResult, 1);

    SuspendDrawing();
    SendCommand(kCommandAutoRange);
    EXPECT_TRUE(AutoRange.active);
    EXPECT_EQ(AutoRange.runState, 1);
    EXPECT_FALSE(drawingSuspended);

    // A missing help page is no silent failure.
    FakeWindow.helpPageMissing = true;
    SendCommand(kCommandContent);
    ASSERT_EQ(FakeWindow.messageBoxes.size(), 1u);
    EXPECT_NE(FakeWindow.messageBoxes[0].text.find("Quillo-SA.htm"), std::string::npos);
}

TEST_F(MainWindowTest, TheBarMarksTheViewAndTheSwitchesThatAreOn) {
    ASSERT_TRUE(StartProgram());
    auto marks = [this] { return Bar().checked; };
    // No pitch estimator chosen yet: the accurate one.
    EXPECT_EQ(marks(), (std::map<int, bool>{{kCommandAccuratePitch, true},
                                            {kCommandSpectrum, false},
                                            {kCommandSpectrogram, true},
                                            {kCommandPause, false},
                                            {kCommandDbGrid, false},
                                            {kCommandFreqGrid, false},
                                            {kCommandDbLabels, true}}));
    SendCommand(kCommandDbLabels);
    EXPECT_FALSE(marks()[kCommandDbLabels]);
    SendCommand(kCommandSpectrum);  // a new bar, marked as things are now
    EXPECT_TRUE(marks()[kCommandSpectrum]);
    EXPECT_FALSE(marks()[kCommandSpectrogram]);
    EXPECT_FALSE(marks()[kCommandDbLabels]);
    SendCommand(kCommandDbGrid);
    SendCommand(kCommandFreqGrid);
    SendCommand(kCommandPause);
    EXPECT_TRUE(marks()[kCommandDbGrid]);
    EXPECT_TRUE(marks()[kCommandFreqGrid]);
    EXPECT_TRUE(marks()[kCommandPause]);
    SendCommand(kCommandNoise);  // rebuilt for the noise image: the marks stay
    EXPECT_TRUE(marks()[kCommandDbGrid]);
    EXPECT_TRUE(marks()[kCommandPause]);
    EXPECT_TRUE(marks()[kCommandSpectrum]);
    SendCommand(kCommandFreqGrid);
    EXPECT_FALSE(marks()[kCommandFreqGrid]);
}

// Blocks of a tone whose pitch steps up every block, so that every analysis differs.
void FeedRisingTone(int blocks, double& hz) {
    int16_t block[1024];
    for (int b = 0; b < blocks; ++b, hz += 7.0) {
        for (int i = 0; i < 1024; ++i)
            block[i] = static_cast<int16_t>(9000.0 * std::sin(2 * 3.14159265 * hz * i / 22050.0));
        ProcessBlock(block, 1024, false);
    }
}

std::vector<uint16_t> Screen() {
    return std::vector<uint16_t>(std::begin(MemoryDisplay.pixels), std::end(MemoryDisplay.pixels));
}

TEST_F(MainWindowTest, PauseFreezesTheScreenWhileAnalysisMeasurementsAndTheLogGoOn) {
    // 10 blocks, pause (or not), the automatic range, 60 blocks (over a second); the log.
    auto run = [this](bool pause) {
        WriteTextFile(path, "0 80 20 0 1 2 1 2");  // narrow resolution: the pitch log runs
        ResetFakeWindow();
        EXPECT_TRUE(StartProgram());
        const std::string log = NewSettingsPath();
        EXPECT_TRUE(OpenPitchLog(log.c_str()));
        double hz = 300.0;
        FeedRisingTone(10, hz);
        if (pause) SendCommand(kCommandPause);
        const std::vector<uint16_t> before = Screen();
        const int presented = MemoryDisplay.framesPresented;
        const std::vector<float> spectrum(PowerSpectrumEarly, PowerSpectrumEarly + 1024);
        SendCommand(kCommandAutoRange);
        FeedRisingTone(60, hz);
        EXPECT_FALSE(std::vector<float>(PowerSpectrumEarly, PowerSpectrumEarly + 1024) == spectrum);
        EXPECT_FALSE(AutoRange.active);
        EXPECT_EQ(BlockCounter.blocks, 70);
        EXPECT_EQ(Screen() == before, pause);
        EXPECT_EQ(MemoryDisplay.framesPresented == presented, pause);
        ClosePitchLog();
        return ReadTextFile(log);
    };
    const std::string running = run(false);
    const std::string paused = run(true);
    EXPECT_TRUE(Bar().checked.at(kCommandPause));
    EXPECT_GT(running.size(), 60u * 20u);
    EXPECT_EQ(paused, running);  // the log does not know

    // Pressed again: the next block shows the analyzer as it is now.
    const std::vector<uint16_t> frozen = Screen();
    SendCommand(kCommandPause);
    EXPECT_FALSE(Bar().checked.at(kCommandPause));
    double hz = 900.0;
    FeedRisingTone(2, hz);
    EXPECT_FALSE(Screen() == frozen);
}

TEST_F(MainWindowTest, OptionsThatCannotBeShownLeaveDrawingOn) {
    ASSERT_TRUE(StartProgram());
    FakeWindow.dialogsCannotShow = true;
    SendCommand(kCommandOption);
    EXPECT_EQ(FakeWindow.dialogsRun.back(), kOptionsDialog);
    EXPECT_FALSE(drawingSuspended);
}

}  // namespace
