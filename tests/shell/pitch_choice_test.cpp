// SPDX-License-Identifier: GPL-3.0-or-later
// The pitch estimator choice: the accurate estimator feeds the readout band and the pitch
// log and nothing else; the classic one is untouched by it; the menu item and the choice's
// own file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/headless/display_memory.h"
#include "raster/display.h"
#include "resources/resources.h"
#include "shell/choices.h"
#include "shell/main_window.h"
#include "shell/pipeline.h"
#include "shell/pitch_choice.h"
#include "shell/pitch_log.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "tests/shell/fake_window.h"
#include "tests/shell/shell_test_support.h"
#include "tests/support/pitch_material.h"
#include "views/readout.h"

namespace {

constexpr int kBlock = 1024;
constexpr int kBandTop = 71;  // the readout band's rows
constexpr int kBandBottom = 84;

// A 220 Hz sawtooth, 3 s, then 1 s of a 330 Hz brass-like note: the classic reading of a
// sawtooth is flat, so the two estimators' rows differ.
std::vector<int16_t> Material() {
    ToneRecipe saw;
    saw.timbre = Timbre::kSawtooth;
    saw.startHz = saw.endHz = 220.0;
    saw.seconds = 3.0;
    ToneRecipe brass = saw;
    brass.timbre = Timbre::kBrass;
    brass.startHz = brass.endHz = 330.0;
    brass.seconds = 1.0;
    std::vector<int16_t> pcm = ToPcm16(Synthesize(saw, 22050));
    const std::vector<int16_t> second = ToPcm16(Synthesize(brass, 22050));
    pcm.insert(pcm.end(), second.begin(), second.end());
    return pcm;
}

// Feeds blocks [first, last) of the material; the choice switches to `estimator` first.
void Feed(const std::vector<int16_t>& pcm, size_t first, size_t last,
          PitchEstimatorKind estimator) {
    SetPitchEstimator(estimator);
    for (size_t b = first; b < last && (b + 1) * kBlock <= pcm.size(); ++b)
        ProcessBlock(pcm.data() + b * kBlock, kBlock, false);
}

std::vector<std::string> LogLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream stream(ReadTextFile(path));
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

std::vector<uint16_t> ViewOutsideTheBand() {
    std::vector<uint16_t> pixels;
    for (int y = 0; y < 268; ++y) {
        if (y >= kBandTop && y <= kBandBottom) continue;
        for (int x = 0; x < 240; ++x)
            pixels.push_back(ScreenPixel(x, y));
    }
    return pixels;
}

TEST(PitchChoice, AccurateRowsReadTheTrueNotesLockedWhereClassicRowsDoNot) {
    const std::vector<int16_t> pcm = Material();
    const size_t blocks = pcm.size() / kBlock;
    std::vector<std::string> rows[2];
    for (PitchEstimatorKind kind : {PitchEstimatorKind::kClassic, PitchEstimatorKind::kAccurate}) {
        UseSettingsPath("");
        StartCore();
        const std::string path = NewSettingsPath();
        ASSERT_TRUE(OpenPitchLog(path.c_str()));
        Feed(pcm, 0, blocks, kind);
        ClosePitchLog();
        rows[int(kind)] = LogLines(path);
    }
    ASSERT_EQ(rows[0].size(), rows[1].size());
    int right = 0, judged = 0;
    for (size_t i = 1; i < rows[1].size(); ++i) {
        const double seconds = std::atof(rows[1][i].c_str());
        const double truth = seconds < 3.0 ? 220.0 : 330.0;
        // Half a second into each note.
        if ((seconds > 0.5 && seconds < 3.0) || seconds > 3.5) {
            const double hz = std::atof(rows[1][i].c_str() + rows[1][i].find(',') + 1);
            judged += 1;
            right += rows[1][i].ends_with(",locked") && std::fabs(CentsOff(hz, truth)) < 5.0;
        }
    }
    EXPECT_EQ(right, judged);
    EXPECT_GT(judged, 50);
    EXPECT_NE(rows[0], rows[1]);
}

// Classic rows after a stretch in accurate mode are the rows of a run that never left
// classic mode, and accurate mode changes no pixel outside the readout band.
TEST(PitchChoice, AnAccurateStretchLeavesTheClassicTrackerAndThePictureAsTheyWere) {
    const std::vector<int16_t> pcm = Material();
    const size_t blocks = pcm.size() / kBlock;
    std::vector<std::string> rows[2];
    std::vector<uint16_t> pictures[2];
    for (int run = 0; run < 2; ++run) {
        UseSettingsPath("");
        StartCore();
        const std::string path = NewSettingsPath();
        ASSERT_TRUE(OpenPitchLog(path.c_str()));
        Feed(pcm, 0, 20, PitchEstimatorKind::kClassic);
        Feed(pcm, 20, 60, run == 0 ? PitchEstimatorKind::kClassic : PitchEstimatorKind::kAccurate);
        pictures[run] = ViewOutsideTheBand();
        Feed(pcm, 60, blocks, PitchEstimatorKind::kClassic);
        ClosePitchLog();
        rows[run] = LogLines(path);
    }
    EXPECT_EQ(pictures[0], pictures[1]);
    ASSERT_EQ(rows[0].size(), rows[1].size());
    for (size_t i = 0; i < rows[0].size(); ++i) {
        const bool accurateStretch = i >= 20 && i < 60;  // row i is block i's (block 0 has none)
        if (!accurateStretch) {
            EXPECT_EQ(rows[0][i], rows[1][i]) << i;
        }
    }
}

TEST(PitchChoice, TheReadoutShowsTheAccuratePitchAndItsLock) {
    UseSettingsPath("");
    StartCore();
    const std::vector<int16_t> pcm = Material();
    Feed(pcm, 0, 40, PitchEstimatorKind::kAccurate);
    EXPECT_EQ(std::string(ReadoutState.frequencyText), "  220.0hz");
    EXPECT_EQ(std::string(ReadoutState.noteText), "A ");
    EXPECT_EQ(std::string(ReadoutState.centsText).substr(2), "0 cent");
    // Locked: black texts on white.
    const uint16_t lockedInterior = ScreenPixel(3, 73);
    EXPECT_EQ(lockedInterior, ScreenPixel(236, 82));
    EXPECT_NE(lockedInterior, ScreenPixel(1, 72));

    // Silence: the reading stays, unlocked (white on black), then is lost.
    const std::vector<int16_t> silence(kBlock, 0);
    ProcessBlock(silence.data(), kBlock, false);
    ProcessBlock(silence.data(), kBlock, false);
    EXPECT_NE(ScreenPixel(3, 73), lockedInterior);
    EXPECT_EQ(std::string(ReadoutState.noteText), "A ");
    for (int b = 0; b < 45; ++b)
        ProcessBlock(silence.data(), kBlock, false);
    const std::string path = NewSettingsPath();
    ASSERT_TRUE(OpenPitchLog(path.c_str()));
    ProcessBlock(silence.data(), kBlock, false);
    ClosePitchLog();
    const std::vector<std::string> lines = LogLines(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find(",220.0"), std::string::npos) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("0,lost")) << lines[1];
}

// ---- The menu item and the file ----

class PitchChoiceWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFakeWindow();
        settingsPath = NewSettingsPath();
        UseSettingsPath(settingsPath);
        std::remove(ChoicesFilePath());  // no choice stored, whatever ran before
    }
    bool Start() {
        ResetProgramState();
        CloseDisplay();
        SetDisplayBackEnd(&MemoryDisplayBackEnd);
        return InitMainWindow();
    }
    bool CheckMark() {
        const FakeMenuBar* bar = CurrentFakeMenuBar(MainWindowState.menuBar);
        EXPECT_NE(bar, nullptr);
        if (bar == nullptr) return false;
        const auto found = bar->checked.find(kCommandAccuratePitch);
        EXPECT_NE(found, bar->checked.end());
        return found != bar->checked.end() && found->second;
    }
    std::string settingsPath;
};

// No choice stored: the accurate estimator, checked.
TEST_F(PitchChoiceWindowTest, TheMenuItemTogglesTheChoiceAndItsCheckMark) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(PitchChoice.estimator, PitchEstimatorKind::kAccurate);
    EXPECT_TRUE(CheckMark());
    SendCommand(kCommandAccuratePitch);
    EXPECT_EQ(PitchChoice.estimator, PitchEstimatorKind::kClassic);
    EXPECT_FALSE(CheckMark());
    // A rebuilt bar (a view switch) keeps the mark.
    SendCommand(kCommandSpectrum);
    EXPECT_FALSE(CheckMark());
    SendCommand(kCommandAccuratePitch);
    EXPECT_EQ(PitchChoice.estimator, PitchEstimatorKind::kAccurate);
    EXPECT_TRUE(CheckMark());
}

TEST_F(PitchChoiceWindowTest, ExitWritesTheChoiceBesideTheSettingsWhichKeepEightValues) {
    const std::string choicePath = ChoicesFilePath();
    std::remove(choicePath.c_str());
    ASSERT_TRUE(Start());
    SendCommand(kCommandAccuratePitch);
    SendCommand(kCommandExit);
    EXPECT_EQ(ReadTextFile(choicePath), "pitch_estimator = classic\n");
    const std::string settings = ReadTextFile(settingsPath);
    EXPECT_EQ(std::count(settings.begin(), settings.end(), ' '), 7) << settings;

    // The next start reads it back, without the check mark.
    ResetFakeWindow();
    ASSERT_TRUE(Start());
    EXPECT_EQ(PitchChoice.estimator, PitchEstimatorKind::kClassic);
    EXPECT_FALSE(CheckMark());
}

TEST_F(PitchChoiceWindowTest, AChoiceGivenBeforeStartUpOutranksTheFileAndJunkIsIgnored) {
    const std::string choicePath = ChoicesFilePath();
    WriteTextFile(choicePath, "pitch_estimator = accurate");
    ResetProgramState();
    SetPitchEstimator(PitchEstimatorKind::kClassic);  // as a command-line option would
    LoadPitchChoice();
    EXPECT_EQ(PitchChoice.estimator, PitchEstimatorKind::kClassic);

    // A file that names no estimator stores no choice: the accurate one.
    for (const char* junk : {"", "Accurate", "accurately", "1", "classic accurate"}) {
        ResetProgramState();
        SetPitchEstimator(PitchEstimatorKind::kClassic);
        PitchChoice.given = false;
        WriteTextFile(choicePath, std::string("pitch_estimator = ") + junk + "\n");
        LoadPitchChoice();
        EXPECT_EQ(PitchChoice.estimator, PitchEstimatorKind::kAccurate) << junk;
    }
    std::remove(choicePath.c_str());
    ResetProgramState();
    LoadPitchChoice();
    EXPECT_EQ(PitchChoice.estimator, PitchEstimatorKind::kAccurate);
    PitchEstimatorKind kind = PitchEstimatorKind::kAccurate;
    EXPECT_TRUE(ParsePitchEstimator("classic", &kind));
    EXPECT_EQ(kind, PitchEstimatorKind::kClassic);
    EXPECT_FALSE(ParsePitchEstimator("yin", &kind));
    EXPECT_EQ(kind, PitchEstimatorKind::kClassic);
    // No settings path: no file, and saving does nothing.
    UseSettingsPath("");
    EXPECT_EQ(ChoicesFilePath(), nullptr);
    EXPECT_TRUE(SavePitchChoice());
}

}  // namespace
