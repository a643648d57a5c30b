// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum that Export Spectrum... takes in the full view: every bin of its FFT as its
// trace shows it, and while the pause button holds the picture, the held picture's.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "fullview/full_analysis.h"
#include "program/levels_export.h"
#include "program/program_options.h"
#include "shell/picture_mode.h"
#include "shell/pipeline.h"
#include "tests/support/level_rows.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 1024;

void FeedFull(const int16_t* samples, int count, bool) {
    FeedFullAnalysis(samples, count);
}

// `seconds` of a half-scale sine at `hz`, in blocks as the capture hands them over.
void PlayTone(double hz, double seconds) {
    static long long played = 0;  // the phase runs on from one tone to the next
    int16_t block[kBlock];
    for (int b = 0; b < int(seconds * kRate / kBlock); b++) {
        for (int i = 0; i < kBlock; i++, played++)
            block[i] = int16_t(std::lround(16383.0 * std::sin(2.0 * M_PI * hz * played / kRate)));
        ConsumeBlock(block, kBlock, false);
    }
}

double ShownPeakHz(size_t* rowCount) {
    std::string csv;
    EXPECT_TRUE(ShownSpectrumCsv(&csv));
    std::vector<SpectrumRow> rows;
    std::string why;
    EXPECT_TRUE(ReadSpectrumRows(csv, &rows, &why)) << why;
    *rowCount = rows.size();
    return rows.empty() ? 0.0 : LoudestRow(rows).hz;
}

TEST(ShownSpectrum, TheFullViewsBinsAndWhilePausedTheHeldPictures) {
    ProgramOptions options;
    options.headless = true;
    EnableSpectrumExport(options);
    FullAnalysisConfig config = DefaultFullAnalysisConfig();
    config.averaging = FullAveraging::Long;  // the trace as shown: averaged
    ASSERT_TRUE(ConfigureFullAnalysis(config));
    PictureModeState.consumeFullBlock = FeedFull;
    ASSERT_TRUE(SetPictureMode(PictureMode::kFull));
    const double binHz = double(kRate) / config.fftSize;
    size_t rows = 0;

    PlayTone(1000.0, 2.0);
    EXPECT_NEAR(ShownPeakHz(&rows), 1000.0, binHz);
    EXPECT_EQ(rows, size_t(config.fftSize / 2 + 1));
    pictureFrozen = true;
    PlayTone(3000.0, 2.0);
    EXPECT_NEAR(ShownPeakHz(&rows), 1000.0, binHz) << "not the held picture's";
    pictureFrozen = false;
    PlayTone(3000.0, 0.1);
    EXPECT_NEAR(ShownPeakHz(&rows), 3000.0, binHz);
}

}  // namespace
