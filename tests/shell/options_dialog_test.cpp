// SPDX-License-Identifier: GPL-3.0-or-later
// The options dialog run as the "Option" command runs it, with a scripted user filling in
// the controls: the dB range checks and their messages, each group applied at once, and
// nothing saved before Exit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "raster/display.h"
#include "raster/surface.h"
#include "resources/resources.h"
#include "shell/host.h"
#include "shell/options_dialog.h"
#include "shell/settings.h"
#include "tests/shell/fake_window.h"
#include "tests/shell/shell_test_support.h"
#include "views/block_view.h"
#include "views/view_state.h"

namespace {

std::vector<float> LevelTableNow() {
    return std::vector<float>(LevelTable, LevelTable + kLevelCount);
}

std::vector<float> LevelTableFor(float max, float min) {
    BuildLevelTable(float(std::pow(10.0, double((max - 100.0f) * 0.1f))),
                    float(std::pow(10.0, double((min - 100.0f) * 0.1f))), 256);
    return LevelTableNow();
}

class OptionsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFakeWindow();
        path = NewSettingsPath();
        UseSettingsPath(path);
        StartCore();
    }
    // Opens the dialog through the "Option" command; `fill` acts on the controls, then the
    // user presses `button`.
    void RunDialog(const std::function<void()>& fill, int button = kCommandOk) {
        FakeWindow.dialogUser = [&fill, button](void* dialog) {
            fill();
            OptionsDialogProc(dialog, WM_COMMAND, static_cast<uintptr_t>(button), 0);
        };
        SendCommand(kCommandOption);
    }
    void EnterRange(const char* min, const char* max) {
        RunDialog([min, max] {
            FakeWindow.controls[kControlDbMin].text = min;
            FakeWindow.controls[kControlDbMax].text = max;
        });
    }
    // Picks one button of a radio group.
    static void Pick(std::initializer_list<int> group, int chosen) {
        for (int id : group)
            FakeWindow.controls[id].checked = id == chosen;
    }
    void ExpectOneMessage(const char* text) {
        ASSERT_EQ(FakeWindow.messageBoxes.size(), 1u);
        EXPECT_EQ(FakeWindow.messageBoxes[0].text, text);
        EXPECT_EQ(FakeWindow.messageBoxes[0].caption, "Error");
        EXPECT_EQ(FakeWindow.messageBoxes[0].icon, kMessageBoxPlain);
        EXPECT_EQ(FakeWindow.dialogResult, 1);  // closed on OK all the same
    }
    void ExpectRangeUnchanged(const std::vector<float>& table) {
        EXPECT_EQ(AnalyzerSettings.dbMax, 80);
        EXPECT_EQ(AnalyzerSettings.dbMin, 20);
        EXPECT_EQ(ViewState.dbMax, 80);
        EXPECT_TRUE(LevelTableNow() == table);
    }
    std::string path;
};

TEST_F(OptionsDialogTest, OpensWithTheCurrentValues) {
    RunDialog([] {}, kCommandCancel);
    auto& c = FakeWindow.controls;
    EXPECT_TRUE(c[kControlLinear].checked);
    EXPECT_FALSE(c[kControlLog].checked);
    EXPECT_EQ(c[kControlDbMin].text, "20");
    EXPECT_EQ(c[kControlDbMax].text, "80");
    EXPECT_TRUE(c[kControlNarrow].checked);
    EXPECT_TRUE(c[kControlAveragingMedium].checked);
    EXPECT_TRUE(c[kControlMusic].checked);
    EXPECT_TRUE(c[kControlRate22050].checked);
    EXPECT_TRUE(c[kControlRate22050].enabled);
    EXPECT_TRUE(c[kControlHum].checked);
    EXPECT_EQ(FakeWindow.dialogResult, 0);
    EXPECT_FALSE(drawingSuspended);  // resumed by Cancel
}

TEST_F(OptionsDialogTest, AcceptedRanges) {
    EnterRange("20", "40");  // exactly 20 apart
    EXPECT_TRUE(FakeWindow.messageBoxes.empty());
    EXPECT_EQ(AnalyzerSettings.dbMin, 20);
    EXPECT_EQ(AnalyzerSettings.dbMax, 40);
    EXPECT_EQ(ViewState.dbMax, 40);

    EnterRange("0", "100");
    EXPECT_EQ(AnalyzerSettings.dbMin, 0);
    EXPECT_EQ(AnalyzerSettings.dbMax, 100);

    // The table comes from the values entered, the setting from their truncation.
    EnterRange("25.7", "90");
    EXPECT_EQ(AnalyzerSettings.dbMin, 25);
    const std::vector<float> entered = LevelTableNow();
    EXPECT_TRUE(entered == LevelTableFor(90.0f, 25.7f));
    EXPECT_FALSE(entered == LevelTableFor(90.0f, 25.0f));

    EnterRange("abc", "40");  // letters count as 0
    EXPECT_TRUE(FakeWindow.messageBoxes.empty());
    EXPECT_EQ(AnalyzerSettings.dbMin, 0);
    EXPECT_EQ(AnalyzerSettings.dbMax, 40);
    EXPECT_EQ(ReadTextFile(path), "");  // nothing saved before Exit
}

TEST_F(OptionsDialogTest, RejectedRangesShowTheirMessageAndKeepTheRange) {
    const std::vector<float> table = LevelTableNow();
    struct Case {
        const char* min;
        const char* max;
        const char* message;
    } cases[] = {
        {"20.5", "40", "The separation of the dB range is too small."},
        {"-1", "40", "The value is out of range."},
        {"0", "100.5", "The value is out of range."},
        {"nan", "50", "The value is out of range."},
        {"1e999", "50", "The value is out of range."},
        {"", "40", "You have not enter the minimum frequency."},
        {"20", "", "You have not enter the maximum frequency."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.min) + " / " + c.max);
        FakeWindow.messageBoxes.clear();
        EnterRange(c.min, c.max);
        ExpectOneMessage(c.message);
        ExpectRangeUnchanged(table);
    }
    FakeWindow.messageBoxes.clear();
    EnterRange("", "");
    ASSERT_EQ(FakeWindow.messageBoxes.size(), 2u);
    EXPECT_EQ(FakeWindow.messageBoxes[1].text, "You have not enter the maximum frequency.");
}

TEST_F(OptionsDialogTest, AnErrorStillAppliesTheOtherGroups) {
    RunDialog([] {
        FakeWindow.controls[kControlDbMax].text = "";
        Pick({kControlNarrow, kControlResolutionMedium, kControlWide}, kControlWide);
        Pick({kControlFilterNone, kControlAuditory, kControlHum}, kControlAuditory);
    });
    EXPECT_EQ(FakeWindow.messageBoxes.size(), 1u);
    EXPECT_EQ(AnalyzerSettings.freqResolution, 2);
    EXPECT_EQ(AnalyzerSettings.filtering, 1);
    EXPECT_EQ(AnalyzerSettings.preEmphasis, 0.97f);
}

TEST_F(OptionsDialogTest, EachGroupAppliesItsValueAtOnce) {
    const std::vector<uint16_t> axisBefore(OverlaySurface.pixels,
                                           OverlaySurface.pixels + 240 * 320);
    RunDialog([] { Pick({kControlLog, kControlLinear}, kControlLog); });
    EXPECT_EQ(AnalyzerSettings.logScale, 1);
    EXPECT_EQ(ViewState.logScale, 1);
    EXPECT_FALSE(std::equal(axisBefore.begin(), axisBefore.end(), OverlaySurface.pixels));

    RunDialog([] { Pick({kControlNarrow, kControlResolutionMedium, kControlWide}, kControlWide); });
    EXPECT_EQ(AnalyzerSettings.windowAlpha, 15.625f);
    EXPECT_FALSE(AnalyzerSettings.pitchTrackingOn);
    float wide[1024];
    std::memcpy(wide, AnalysisWindow, sizeof wide);
    BuildAnalysisWindow(1024, 15.625f);
    EXPECT_EQ(std::memcmp(wide, AnalysisWindow, sizeof wide), 0);

    RunDialog([] { Pick({kControlShort, kControlAveragingMedium, kControlLong}, kControlLong); });
    EXPECT_EQ(AnalyzerSettings.timeAveraging, 2);
    EXPECT_EQ(ViewState.averagingFactor, 0.9f);

    RunDialog([] {
        Pick({kControlPeakNone, kControlCalibrate, kControlMusic}, kControlCalibrate);
    });
    EXPECT_EQ(AnalyzerSettings.peakProfile, 1);
    EXPECT_EQ(ViewState.peakProfile, 1);

    RunDialog([] { Pick({kControlRate11025, kControlRate22050}, kControlRate11025); });
    EXPECT_EQ(AnalyzerSettings.rateSetting, 0);
    EXPECT_EQ(ViewState.rateSetting, 0);

    RunDialog([] {
        Pick({kControlFilterNone, kControlAuditory, kControlHum}, kControlFilterNone);
    });
    EXPECT_EQ(AnalyzerSettings.filtering, 0);
    EXPECT_EQ(AnalyzerSettings.preEmphasis, 0.0f);
    EXPECT_FALSE(drawingSuspended);
    EXPECT_EQ(ReadTextFile(path), "");

    SendCommand(kCommandExit);
    EXPECT_EQ(ReadTextFile(path), "1 80 20 2 2 1 0 0");
}

TEST_F(OptionsDialogTest, LeavingNarrowBlanksTheReadoutOnce) {
    auto bandInterior = [] { return CanvasSurface.pixels[78 * 240 + 50]; };
    auto choose = [this](int id) {
        RunDialog([id] { Pick({kControlNarrow, kControlResolutionMedium, kControlWide}, id); });
    };
    FillRect(kPenWhite, 3, 73, 233, 10);  // a locked readout
    choose(kControlResolutionMedium);
    EXPECT_EQ(bandInterior(), 0x0000);
    EXPECT_EQ(lastResolution, 1);
    FillRect(kPenWhite, 3, 73, 233, 10);
    choose(kControlWide);  // from Medium: not blanked again
    EXPECT_EQ(bandInterior(), 0xFFFF);
    choose(kControlNarrow);
    EXPECT_TRUE(AnalyzerSettings.pitchTrackingOn);
    EXPECT_EQ(lastResolution, 0);
}

TEST_F(OptionsDialogTest, DeviceProfileDisablesTheRateButtons) {
    StartCore(true);
    AnalyzerSettings.rateSetting = 1;
    RunDialog([] {});
    EXPECT_FALSE(FakeWindow.controls[kControlRate11025].enabled);
    EXPECT_FALSE(FakeWindow.controls[kControlRate22050].enabled);
    EXPECT_FALSE(FakeWindow.controls[kControlRate22050].checked);
    EXPECT_EQ(AnalyzerSettings.rateSetting, 1);
}

TEST_F(OptionsDialogTest, ValuesOnlyAFileCanHoldAreShownAndKept) {
    WriteTextFile(path, "7 1000 20 9 1 5 3 2");
    StartCore();
    RunDialog([] {});
    auto& c = FakeWindow.controls;
    EXPECT_TRUE(c[kControlLog].checked);
    EXPECT_EQ(c[kControlDbMax].text, "1000");
    for (int id : {kControlNarrow, kControlResolutionMedium, kControlWide, kControlPeakNone,
                   kControlCalibrate, kControlMusic, kControlRate11025, kControlRate22050}) {
        EXPECT_FALSE(c[id].checked) << id;
    }
    ExpectOneMessage("The value is out of range.");
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    EXPECT_EQ(s.logScale, 1);  // "Log" was selected
    EXPECT_EQ(s.dbMax, 1000);
    EXPECT_EQ(s.freqResolution, 9);
    EXPECT_EQ(s.peakProfile, 5);
    EXPECT_EQ(s.rateSetting, 3);
}

}  // namespace
