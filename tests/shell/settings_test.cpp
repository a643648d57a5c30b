// SPDX-License-Identifier: GPL-3.0-or-later
// Settings: the file on disk, the values it gives the analysis and the views, the automatic
// range, and files that are broken in every way a user's disk can break them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <cmath>
#include <cstring>
#include <string>

#include "analysis/analysis.h"
#include "shell/pipeline.h"
#include "shell/settings.h"
#include "tests/shell/shell_test_support.h"
#include "views/block_view.h"
#include "views/view_state.h"

namespace {

float TensOfDb(int db) {
    return static_cast<float>(std::pow(10.0, (db - 100) / 10));
}

// The table's first entry is its bottom, up to the rounding of its logarithm.
void ExpectLevelTableBottom(float bottom) {
    EXPECT_NEAR(LevelTable[0], bottom, bottom * 1e-5f);
}

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { path = NewSettingsPath(); }
    void StartWith(const std::string& text) {
        WriteTextFile(path, text);
        UseSettingsPath(path);
        StartCore();
    }
    std::string path;
};

TEST_F(SettingsTest, MissingFileKeepsDefaultsAndSavesThemAsOneLine) {
    UseSettingsPath(path);
    StartCore();
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    EXPECT_EQ(s.logScale, 0);
    EXPECT_EQ(s.dbMax, 80);
    EXPECT_EQ(s.dbMin, 20);
    EXPECT_EQ(s.windowAlpha, 2.5f);
    EXPECT_TRUE(s.pitchTrackingOn);
    EXPECT_EQ(s.preEmphasis, 0.85f);
    EXPECT_EQ(ViewState.averagingFactor, 0.7f);
    EXPECT_EQ(ViewState.peakProfile, 2);
    EXPECT_EQ(ViewState.rateSetting, 1);
    EXPECT_EQ(ViewState.dbMax, 80);
    EXPECT_EQ(ViewState.dbMin, 20);
    ExpectLevelTableBottom(TensOfDb(20));
    EXPECT_EQ(AnalysisWindow[512], 1.0f);

    SaveSettings();
    EXPECT_EQ(ReadTextFile(path), "0 80 20 0 1 2 1 2");
}

TEST_F(SettingsTest, ShortFileSetsItsFieldsAndKeepsTheRest) {
    StartWith("1 90 30 2");
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    EXPECT_EQ(s.logScale, 1);
    EXPECT_EQ(s.dbMax, 90);
    EXPECT_EQ(s.dbMin, 30);
    EXPECT_EQ(s.freqResolution, 2);
    EXPECT_EQ(s.windowAlpha, 15.625f);
    EXPECT_FALSE(s.pitchTrackingOn);
    EXPECT_EQ(AnalysisWindow[0], 0.0f);  // the wide resolution's window underflows at its ends
    EXPECT_EQ(ViewState.logScale, 1);
    ExpectLevelTableBottom(TensOfDb(30));
    EXPECT_EQ(ViewState.averagingFactor, 0.7f);
    EXPECT_EQ(s.rateSetting, 1);
    EXPECT_EQ(s.preEmphasis, 0.85f);

    SaveSettings();
    EXPECT_EQ(ReadTextFile(path), "1 90 30 2 1 2 1 2");
}

TEST_F(SettingsTest, EveryFieldAndAnyWhiteSpaceIsRead) {
    StartWith("0\n85\t25  1\r\n0 1\n\n0 1\n");
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    EXPECT_EQ(s.freqResolution, 1);
    EXPECT_EQ(s.windowAlpha, 6.25f);
    EXPECT_FALSE(s.pitchTrackingOn);
    EXPECT_EQ(ViewState.averagingFactor, 0.0f);
    EXPECT_EQ(ViewState.peakProfile, 1);
    EXPECT_EQ(s.rateSetting, 0);
    EXPECT_EQ(ViewState.rateSetting, 0);
    EXPECT_EQ(s.preEmphasis, 0.97f);

    // The level table is built on whole tens (90 and 30 dB) while the axis keeps 85 and 25.
    EXPECT_EQ(ViewState.dbMax, 85);
    EXPECT_EQ(ViewState.dbMin, 25);
    ExpectLevelTableBottom(1e-7f);  // 30 dB, not 25
    const float step = std::pow(0.1f / 1e-7f, 1.0f / 256.0f);
    EXPECT_NEAR(LevelTable[255] * step, 0.1f, 0.001f);
}

TEST_F(SettingsTest, LevelTableTensAreTruncatedTowardZeroBelowZeroDb) {
    struct Case {
        const char* text;
        float bottom;  // linear power of the table's first entry
    };
    // (-5 - 100) / 10 is -10, not -11; (-15 - 100) / 10 is -11, not -12.
    for (const Case& c : {Case{"0 80 -5", 1e-10f}, Case{"0 80 -15", 1e-11f}}) {
        SCOPED_TRACE(c.text);
        StartWith(c.text);
        ExpectLevelTableBottom(c.bottom);
        EXPECT_EQ(ViewState.dbMin, AnalyzerSettings.dbMin);  // the axis keeps the value read
    }
}

TEST_F(SettingsTest, AutomaticRangeFollowsTheLoudestLevel) {
    UseSettingsPath(path);
    StartCore();
    const float floor = static_cast<float>(1e-10);

    ApplyAutoRange(0.196f);
    EXPECT_EQ(AnalyzerSettings.dbMin, 0);
    EXPECT_EQ(AnalyzerSettings.dbMax, 92);
    EXPECT_EQ(ViewState.dbMax, 92);
    EXPECT_EQ(ViewState.dbMin, 0);
    ExpectLevelTableBottom(floor);
    const float step = std::pow(0.196f / 1e-10f, 1.0f / 256.0f);
    EXPECT_NEAR(LevelTable[255] * step, 0.196f, 0.002f);

    ApplyAutoRange(5e-9f);  // quieter than 20 dB above the floor
    EXPECT_EQ(AnalyzerSettings.dbMax, 20);
    EXPECT_EQ(AnalyzerSettings.dbMin, 0);
    EXPECT_EQ(ViewState.dbMax, 20);
    ExpectLevelTableBottom(floor);
    EXPECT_NEAR(LevelTable[255], 1e-8f, 1e-9f);

    ApplyAutoRange(2.0f);  // above a power of 1: the range passes 100 dB
    EXPECT_EQ(AnalyzerSettings.dbMax, 103);

    float table[kLevelCount];
    std::memcpy(table, LevelTable, sizeof table);
    for (float none : {1e-10f, 1e-12f, 0.0f, -4.0f, NAN, INFINITY}) {
        ApplyAutoRange(none);
        EXPECT_EQ(AnalyzerSettings.dbMax, 103) << none;
        EXPECT_EQ(AnalyzerSettings.dbMin, 0) << none;
        EXPECT_EQ(std::memcmp(table, LevelTable, sizeof table), 0) << none;
    }

    SaveSettings();
    EXPECT_EQ(ReadTextFile(path), "0 103 0 0 1 2 1 2");
}

TEST_F(SettingsTest, BrokenFilesKeepTheValuesBeforeTheFault) {
    struct Case {
        const char* text;
        const char* saved;  // the record afterwards, as SaveSettings writes it
    };
    const Case cases[] = {
        {"", "0 80 20 0 1 2 1 2"},
        {"garbage", "0 80 20 0 1 2 1 2"},
        {"1 90 x 2 0 0 0 0", "1 90 20 0 1 2 1 2"},
        {"1 -", "1 80 20 0 1 2 1 2"},
        // A number that does not fit an int fails its conversion, even with an int's digits.
        {"1 99999999999 30 2", "1 80 20 0 1 2 1 2"},
        {"1 2147483648 30", "1 80 20 0 1 2 1 2"},
        {"1 2147483647 -2147483648 0", "1 2147483647 -2147483648 0 1 2 1 2"},
        {"1 90 30 2.5 0", "1 90 30 2 1 2 1 2"},
        {"+1 0090 -0 1", "1 90 0 1 1 2 1 2"},
        // Only the low eight bits of the first number make the scale flag; the number is
        // saved as read.
        {"257 80 20", "257 80 20 0 1 2 1 2"},
        {"-1 80 20", "-1 80 20 0 1 2 1 2"},
        {"300 -5000 5000 7 9 -9 9 9 trailing", "300 -5000 5000 7 9 -9 9 9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        StartWith(c.text);
        SaveSettings();
        EXPECT_EQ(ReadTextFile(path), c.saved);
    }
}

TEST_F(SettingsTest, OutOfRangeValuesLeaveTheDerivedValuesAndReachTheViewsSafely) {
    StartWith("300 -5000 5000 7 9 -9 9 9");
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    EXPECT_EQ(s.windowAlpha, 2.5f);
    EXPECT_FALSE(s.pitchTrackingOn);  // never set: the resolution was never valid
    EXPECT_EQ(s.preEmphasis, 0.85f);
    EXPECT_EQ(ViewState.averagingFactor, 0.0f);  // SetAveragingFactor was not called
    EXPECT_EQ(ViewState.peakProfile, -9);
    EXPECT_NE(ViewState.logScale, 0);           // 44: any non-zero flag is the log scale
    EXPECT_EQ(ViewState.dbMax, kViewDbLowest);  // the views limit what they are given
    EXPECT_EQ(ViewState.dbMin, kViewDbHighest);

    // Equal and reversed ranges, and values near the int limits, run the pipeline without
    // undefined behaviour (the sanitizer build checks this).
    int16_t block[1024] = {};
    for (int i = 0; i < 1024; ++i)
        block[i] = static_cast<int16_t>((i % 50) * 400 - 10000);
    for (const char* text :
         {"0 50 50 0 0 0 1 2", "1 20 80 0 2 1 0 0", "0 2147483647 -2147483648 0 1 2 1 2",
          "0 -2147483648 2147483647 0 1 2 1 2"}) {
        SCOPED_TRACE(text);
        StartWith(text);
        for (int view : {0, 1}) {
            ViewMode = view;
            for (int call = 0; call < 4; ++call)
                ProcessBlock(block, 1024, false);
        }
        StartAutoRange();
        for (int call = 0; call < 30; ++call)
            ProcessBlock(block, 1024, false);
        EXPECT_FALSE(AutoRange.active);
        EXPECT_EQ(AnalyzerSettings.dbMin, 0);
    }
}

TEST_F(SettingsTest, NoPathOrNoFolderIsSilentlyIgnored) {
    UseSettingsPath("");
    StartCore();
    EXPECT_EQ(AnalyzerSettings.dbMax, 80);
    SaveSettings();

    const std::string inMissingFolder = path + ".d/setting.txt";
    UseSettingsPath(inMissingFolder);
    StartCore();
    SaveSettings();  // the settings code never creates the folder
    EXPECT_EQ(ReadTextFile(inMissingFolder), "");
}

// A FIFO in the file's place would block start-up in open() for ever: it counts as missing.
// A writer offers it values for a while; the defaults must stay all the same.
TEST_F(SettingsTest, AFifoInTheFilesPlaceIsNotOpened) {
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    UseSettingsPath(path);
    std::atomic<bool> loaded{false};
    std::thread writer([this, &loaded] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!loaded && std::chrono::steady_clock::now() < end) {
            const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                const ssize_t written = write(fd, "1 90 30 2", 9);
                (void)written;
                close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    StartCore();
    loaded = true;
    writer.join();
    EXPECT_EQ(AnalyzerSettings.dbMax, 80);
    EXPECT_EQ(AnalyzerSettings.logScale, 0);
}

TEST_F(SettingsTest, DeviceProfileFixesTheCaptureConfigurationAndTheTrueBinWidth) {
    StartWith("0 80 20 0 1 2 0 2");  // "11025 Hz", which the device's dialog never offers
    EXPECT_EQ(AnalyzerSettings.captureRate, 22050);
    EXPECT_EQ(EffectiveRateSetting(), 0);
    EXPECT_EQ(ViewState.rateSetting, 0);

    WriteTextFile(path, "0 80 20 0 1 2 0 2");
    StartCore(true);
    EXPECT_TRUE(deviceProfile);
    EXPECT_EQ(AnalyzerSettings.captureRate, 11025);
    EXPECT_EQ(AnalyzerSettings.fftSize, 512);
    EXPECT_EQ(AnalyzerSettings.fftLog2, 9);
    EXPECT_EQ(AnalyzerSettings.timeTickMs, 2);
    // The frames are not decimated there, so the views keep the full bin width too.
    EXPECT_EQ(AnalyzerSettings.rateSetting, 0);
    EXPECT_EQ(EffectiveRateSetting(), 1);
    EXPECT_EQ(ViewState.rateSetting, 1);
    EXPECT_EQ(ViewState.fftSize, 512);
    SaveSettings();
    EXPECT_EQ(ReadTextFile(path), "0 80 20 0 1 2 0 2");  // the stored option is kept
}

}  // namespace
