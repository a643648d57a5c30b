// SPDX-License-Identifier: GPL-3.0-or-later
// The shown picture, the full view's options and the reference pitch kept in the choices
// file: what one start writes, the next reads; the command line's picture and pitch outrank
// it; values the options dialog could not have set fall back to the defaults.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "fullview/full_options.h"
#include "fullview/full_view_choices.h"
#include "shell/choices.h"
#include "shell/picture_mode.h"
#include "shell/reference_pitch.h"
#include "tests/shell/shell_test_support.h"
#include "views/note_scale.h"

namespace {

class FullViewChoicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = UseSettingsFolder();
        NewStart();
    }
    void TearDown() override {
        NewStart();
        LeaveSettingsFolder(folder);
    }
    // What a new start has before it reads its choices.
    static void NewStart() {
        ResetChoices();
        PictureModeState.mode = PictureMode::kHandheld;
        FullViewOptions = DefaultFullViewOptions();
        ResetReferencePitch();
    }
    std::string ReadChoices() const {
        std::ifstream file(folder + "/choices.txt");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    void WriteChoices(const std::string& text) const {
        std::ofstream(folder + "/choices.txt") << text;
    }
    std::string folder;
};

void ExpectSameOptions(const FullViewOptionsRecord& a, const FullViewOptionsRecord& b) {
    EXPECT_EQ(a.analysis.sampleRate, b.analysis.sampleRate);
    EXPECT_EQ(a.analysis.fftSize, b.analysis.fftSize);
    EXPECT_EQ(a.analysis.window, b.analysis.window);
    EXPECT_EQ(a.analysis.overlapPercent, b.analysis.overlapPercent);
    EXPECT_EQ(a.analysis.averaging, b.analysis.averaging);
    EXPECT_EQ(a.analysis.peakHold, b.analysis.peakHold);
    EXPECT_EQ(a.analysis.historySeconds, b.analysis.historySeconds);
    EXPECT_EQ(a.colours, b.colours);
    EXPECT_EQ(a.logAxis, b.logAxis);
    EXPECT_EQ(a.filled, b.filled);
    EXPECT_FLOAT_EQ(a.dbLow, b.dbLow);
    EXPECT_FLOAT_EQ(a.dbHigh, b.dbHigh);
    EXPECT_EQ(a.tuner, b.tuner);
}

TEST_F(FullViewChoicesTest, APictureAndOptionsWrittenAreWhatTheNextStartReads) {
    FullViewOptionsRecord changed = DefaultFullViewOptions();
    changed.analysis = {96000, 32768, FullWindowKind::BlackmanHarris, 50, FullAveraging::Long,
                        true,  60};
    changed.colours = FullColourMapKind::Viridis;
    changed.logAxis = false;
    changed.filled = true;
    changed.dbLow = -87.5f;
    changed.dbHigh = -12.25f;
    changed.tuner = false;
    FullViewOptions = changed;
    PictureModeState.mode = PictureMode::kFull;
    ASSERT_TRUE(SaveFullViewChoices());

    NewStart();
    LoadFullViewChoices(false);
    EXPECT_EQ(PictureModeState.mode, PictureMode::kFull);
    ExpectSameOptions(FullViewOptions, changed);

    NewStart();  // the command line chose the handheld picture
    LoadFullViewChoices(true);
    EXPECT_EQ(PictureModeState.mode, PictureMode::kHandheld);
    ExpectSameOptions(FullViewOptions, changed);
}

TEST_F(FullViewChoicesTest, ValuesTheDialogCouldNotHaveSetAreTheDefaults) {
    // Each value wrong on its own: the rest still read.
    WriteChoices(
        "picture_mode = tiny\nfull_rate = 12345\nfull_window = square\nfull_averaging = 2s\n"
        "full_colour_map = viridis\nfull_axis = sideways\nfull_fill = on\n"
        "full_db_min = nan\nfull_db_max = -20\nfull_tuner = maybe\n");
    LoadFullViewChoices(false);
    FullViewOptionsRecord expected = DefaultFullViewOptions();
    expected.colours = FullColourMapKind::Viridis;
    expected.filled = true;
    expected.dbHigh = -20.0f;
    expected.dbLow = -120.0f;
    EXPECT_EQ(PictureModeState.mode, PictureMode::kHandheld);
    ExpectSameOptions(FullViewOptions, expected);

    // An analysis that is not valid as a whole, a dB scale upside down or out of range.
    NewStart();
    WriteChoices(
        "full_fft_size = 3000\nfull_history = 61\nfull_overlap = 50\n"
        "full_db_min = 0\nfull_db_max = -50\n");
    LoadFullViewChoices(false);
    ExpectSameOptions(FullViewOptions, DefaultFullViewOptions());

    NewStart();
    WriteChoices("full_db_min = -400\nfull_db_max = 30\nfull_history = 5x\n");
    LoadFullViewChoices(false);
    EXPECT_GE(FullViewOptions.dbLow, kFullLowestDb);
    EXPECT_LE(FullViewOptions.dbHigh, kFullHighestDb);
    EXPECT_EQ(FullViewOptions.analysis.historySeconds,
              DefaultFullViewOptions().analysis.historySeconds);
}

TEST_F(FullViewChoicesTest, TheReferencePitchChosenIsKeptAndTheCommandLinesHoldsForItsRun) {
    ChooseReferencePitch(445.5f);
    EXPECT_EQ(NoteScale.referenceHz, 445.5f);
    ASSERT_TRUE(SaveChoices());
    EXPECT_NE(ReadChoices().find("reference_pitch = 445.5\n"), std::string::npos) << ReadChoices();

    NewStart();
    EXPECT_EQ(NoteScale.referenceHz, 440.0f);
    LoadReferencePitch();
    EXPECT_EQ(NoteScale.referenceHz, 445.5f);

    // The command line's pitch outranks the kept one and is not written over it.
    NewStart();
    GiveReferencePitch(432.0f);
    LoadReferencePitch();
    EXPECT_EQ(NoteScale.referenceHz, 432.0f);
    ASSERT_TRUE(SaveChoices());
    EXPECT_NE(ReadChoices().find("reference_pitch = 445.5\n"), std::string::npos) << ReadChoices();
    // Chosen in the dialog after it, the pitch is the user's again, and kept.
    ChooseReferencePitch(442.0f);
    ASSERT_TRUE(SaveChoices());
    NewStart();
    LoadReferencePitch();
    EXPECT_EQ(NoteScale.referenceHz, 442.0f);
}

TEST_F(FullViewChoicesTest, AKeptReferencePitchOutOfRangeOrBrokenIsTheDefault) {
    for (const char* value : {"399.9", "480.1", "445.25", "445,5", "-440", "4e2", "", "nan"}) {
        NewStart();
        WriteChoices(std::string("reference_pitch = ") + value + "\n");
        SetReferencePitch(470.0f);  // whatever came before: the load replaces it
        LoadReferencePitch();
        EXPECT_EQ(NoteScale.referenceHz, 440.0f) << value;
    }
    for (const char* value : {"400", "480.0", "415.3"}) {
        NewStart();
        WriteChoices(std::string("reference_pitch = ") + value + "\n");
        LoadReferencePitch();
        float expected = 0.0f;
        ASSERT_TRUE(ParseReferencePitch(value, &expected));
        EXPECT_EQ(NoteScale.referenceHz, expected) << value;
    }
}

}  // namespace
