// SPDX-License-Identifier: GPL-3.0-or-later
// The pitch log of a tone fed block by block: its header, a row per processed block, and
// rows that agree with the readout on the screen.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "shell/pipeline.h"
#include "shell/pitch_choice.h"
#include "shell/pitch_log.h"
#include "shell/settings.h"
#include "tests/shell/shell_test_support.h"
#include "views/note_scale.h"
#include "views/readout.h"

namespace {

constexpr int kBlock = 1024;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream stream(text);
    while (std::getline(stream, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

void FeedTone(double hz, int blocks, long* t) {
    int16_t block[kBlock];
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < kBlock; ++i, ++*t) {
            const double phase = 2.0 * 3.141592653589793 * hz * double(*t) / 22050.0;
            block[i] =
                int16_t(std::lround(8000.0 * std::sin(phase) + 3000.0 * std::sin(2 * phase)));
        }
        ProcessBlock(block, kBlock, false);
    }
}

TEST(PitchLog, ToneRowsReadTheNoteTheReadoutShows) {
    UseSettingsPath("");  // Narrow: pitch tracking runs
    StartCore();
    const std::string path = NewSettingsPath();
    ASSERT_TRUE(OpenPitchLog(path.c_str()));
    long t = 0;
    FeedTone(440.0, 40, &t);
    ClosePitchLog();

    const std::vector<std::string> lines = Split(ReadTextFile(path), '\n');
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "time_s,frequency_hz,note,cents,lock");
    // The first block only fills the ring; every later one is a row. The file ends with a
    // line end.
    ASSERT_EQ(lines.size(), 1u + 39u + 1u);
    EXPECT_EQ(lines.back(), "");
    int locked = 0;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::vector<std::string> f = Split(lines[i], ',');
        ASSERT_EQ(f.size(), 5u) << lines[i];
        EXPECT_EQ(f[0], [&] {
            char expected[32];
            std::snprintf(expected, sizeof expected, "%.3f", (i + 1) * 1024 / 22050.0);
            return std::string(expected);
        }());
        if (f[4] != "locked") continue;
        ++locked;
        EXPECT_NEAR(std::atof(f[1].c_str()), 440.0, 1.0) << lines[i];
        EXPECT_EQ(f[2], "A");
        EXPECT_TRUE(f[3][0] == '+' || f[3][0] == '-') << f[3];
        EXPECT_LE(std::abs(std::atoi(f[3].c_str())), 4);
    }
    EXPECT_GT(locked, 30);
    // The last row and the readout agree: the same frequency to a tenth of a hertz.
    const std::vector<std::string> last = Split(lines[lines.size() - 2], ',');
    EXPECT_NEAR(std::atof(last[1].c_str()), std::atof(ReadoutState.frequencyText), 0.06);
}

TEST(PitchLog, SilenceHasNoPitchAndOtherResolutionsNoRows) {
    UseSettingsPath("");
    StartCore();
    const std::string path = NewSettingsPath();
    ASSERT_TRUE(OpenPitchLog(path.c_str()));
    long t = 0;
    FeedTone(0.0, 3, &t);
    AnalyzerSettings.pitchTrackingOn = false;  // Medium or Wide
    FeedTone(440.0, 5, &t);
    ClosePitchLog();
    const std::vector<std::string> lines = Split(ReadTextFile(path), '\n');
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "0.093,0.000,,,lost");
    EXPECT_EQ(lines[2], "0.139,0.000,,,lost");

    EXPECT_FALSE(OpenPitchLog("/nonexistent-folder/log.csv"));
    LogPitchRow(1.0, 440.0f, 0);  // no log open: nothing, no crash
}

TEST(PitchLog, SharpNotesKeepBothCharactersAndFlatDeviationsTheirSign) {
    const std::string path = NewSettingsPath();
    ASSERT_TRUE(OpenPitchLog(path.c_str()));
    LogPitchRow(0.5, 466.16376f, 0);       // A#4
    LogPitchRow(0.75, 440.0f * 0.99f, 1);  // 17 cents flat
    LogPitchRow(1.0, INFINITY, 2);
    ClosePitchLog();
    const std::vector<std::string> lines = Split(ReadTextFile(path), '\n');
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "0.500,466.164,A#,+0,locked");
    EXPECT_EQ(lines[2], "0.750,435.600,A,-17,unlocked");
    EXPECT_EQ(lines[3], "1.000,0.000,,,lost");
}

// A 445 Hz tone is A +0 against A4 = 445 and A +20 against 440, in the log and in the band,
// with either estimator (the classic one reads a few cents either way).
TEST(PitchLog, NotesAndCentsFollowTheReferencePitchWithEitherEstimator) {
    for (PitchEstimatorKind estimator :
         {PitchEstimatorKind::kAccurate, PitchEstimatorKind::kClassic}) {
        for (float reference : {445.0f, 440.0f}) {
            SCOPED_TRACE(std::string(PitchEstimatorName(estimator)) + " " +
                         std::to_string(reference));
            UseSettingsPath("");
            StartCore();
            SetPitchEstimator(estimator);
            ASSERT_TRUE(SetReferencePitch(reference));
            const std::string path = NewSettingsPath();
            ASSERT_TRUE(OpenPitchLog(path.c_str()));
            long t = 0;
            FeedTone(445.0, 40, &t);
            ClosePitchLog();
            const int expected = reference == 445.0f ? 0 : 20;
            const int tolerance = estimator == PitchEstimatorKind::kAccurate ? 0 : 4;
            int locked = 0;
            for (const std::string& line : Split(ReadTextFile(path), '\n')) {
                const std::vector<std::string> f = Split(line, ',');
                if (f.size() != 5 || f[4] != "locked") continue;
                ++locked;
                EXPECT_EQ(f[2], "A") << line;
                EXPECT_NEAR(std::atoi(f[3].c_str()), expected, tolerance) << line;
            }
            EXPECT_GT(locked, 30);
            EXPECT_STREQ(ReadoutState.noteText, "A ");
            EXPECT_NEAR(std::atoi(ReadoutState.centsText), expected, tolerance)
                << ReadoutState.centsText;
        }
    }
    SetReferencePitch(kDefaultReferencePitch);
    SetPitchEstimator(PitchEstimatorKind::kClassic);
}

}  // namespace
