// SPDX-License-Identifier: GPL-3.0-or-later
// Gaussian analysis window: its values at the three widths and the level independence of
// the scaling.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "analysis/analysis.h"

namespace {

struct WindowRow {
    float alpha;
    double w0, w256, w511, w1023, sum;
};

// Values for a 1024-sample frame at the three resolutions (Narrow, Medium, Wide).
constexpr std::array<WindowRow, 3> kTable = {{
    {2.5f, 0.0019305, 0.20961, 0.9999762, 0.0019781, 362.85},
    {6.25f, 1.0849e-17, 5.7391e-05, 0.9998510, 1.2635e-17, 145.20},
    {15.625f, 0.0, 3.1101e-27, 0.9990691, 0.0, 58.08},
}};

// Relative closeness for values spanning many decades; exact zero stays exact.
void ExpectRelNear(double expected, float actual, double relative) {
    if (expected == 0.0) {
        EXPECT_EQ(actual, 0.0f);
    } else {
        EXPECT_NEAR(actual, expected, std::fabs(expected) * relative);
    }
}

double WindowSum(int n) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += AnalysisWindow[i];
    return sum;
}

TEST(AnalysisWindow, MatchesKnownValuesAtAllResolutions) {
    for (const WindowRow& row : kTable) {
        SCOPED_TRACE(row.alpha);
        BuildAnalysisWindow(1024, row.alpha);
        ExpectRelNear(row.w0, AnalysisWindow[0], 1e-4);
        ExpectRelNear(row.w256, AnalysisWindow[256], 1e-4);
        ExpectRelNear(row.w511, AnalysisWindow[511], 1e-7);
        EXPECT_EQ(AnalysisWindow[512], 1.0f);
        ExpectRelNear(row.w1023, AnalysisWindow[1023], 1e-4);
        EXPECT_NEAR(WindowSum(1024), row.sum, 0.01);
    }
}

TEST(AnalysisWindow, ScaledWindowSumDoesNotDependOnResolution) {
    for (const WindowRow& row : kTable) {
        SCOPED_TRACE(row.alpha);
        BuildAnalysisWindow(1024, row.alpha);
        const float k = 1.0f / (32800.0f / row.alpha);
        EXPECT_NEAR(WindowSum(1024) * k, 0.02766, 0.00002);
    }
}

TEST(AnalysisWindow, ShorterFrameCentresOnItsOwnMiddleAndLeavesTheRest) {
    BuildAnalysisWindow(1024, 2.5f);
    const float beyond = AnalysisWindow[600];
    BuildAnalysisWindow(512, 2.5f);
    EXPECT_EQ(AnalysisWindow[256], 1.0f);
    EXPECT_NEAR(AnalysisWindow[0], std::exp(-6.25), 1e-9);
    EXPECT_EQ(AnalysisWindow[600], beyond);
}

TEST(AnalysisWindow, FullScaleFrameBecomesAlphaTimesWindow) {
    for (const WindowRow& row : kTable) {
        SCOPED_TRACE(row.alpha);
        BuildAnalysisWindow(1024, row.alpha);
        std::array<float, 1024> frame;
        frame.fill(32800.0f);
        ApplyAnalysisWindow(1024, frame.data(), 32800.0f / row.alpha);
        for (int i = 0; i < 1024; ++i) {
            const float expected = row.alpha * AnalysisWindow[i];
            ASSERT_NEAR(frame[i], expected, expected * 4e-7f) << i;
        }
    }
}

TEST(AnalysisWindow, NonPositiveOrOversizedLengthTouchesNothing) {
    BuildAnalysisWindow(1024, 2.5f);
    std::array<float, kAnalysisWindowSize> before;
    std::copy(AnalysisWindow, AnalysisWindow + kAnalysisWindowSize, before.begin());
    for (int n : {0, -1, -1024, kAnalysisWindowSize + 1}) {
        BuildAnalysisWindow(n, 15.625f);
        EXPECT_TRUE(std::equal(before.begin(), before.end(), AnalysisWindow)) << n;
        std::array<float, 4> frame = {1.0f, 2.0f, 3.0f, 4.0f};
        ApplyAnalysisWindow(n, frame.data(), 1.0f);
        EXPECT_EQ(frame, (std::array<float, 4>{1.0f, 2.0f, 3.0f, 4.0f})) << n;
    }
}

}  // namespace
