// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's frequency axis: where a tone lands against the ticks at any width and
// zoom, the pointer's frequency, zoom, pan and reset, tick spacing and labels.
#include "fullview/full_axis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "fullview/full_analysis.h"
#include "tests/fullview/full_view_test_support.h"

namespace {

const FullTick* TickAt(const FullTickList& ticks, float value) {
    for (int i = 0; i < ticks.count; i++)
        if (ticks.ticks[i].value == value) return &ticks.ticks[i];
    return nullptr;
}

std::vector<float> Levels(const FullAxis& axis) {
    BuildFullPositionMap(axis, FullSpectrum.binHz, FullSpectrum.binCount, FullPeakExponent());
    std::vector<float> levels(size_t(axis.positions));
    FullPositionLevels(FullSpectrum.levelDb, levels.data());
    return levels;
}

TEST(FullAxis, AOneKilohertzPeakLandsAtTheTickLabelledOneKilohertz) {
    FeedTones(48000, 8192, {1000.0f}, 0.5f, 0.5);
    for (int width : {533, 1280, 3840}) {
        const FullAxis whole = WholeFullAxis(width, true, 24000.0f);
        const FullAxis linear = WholeFullAxis(width, false, 24000.0f);
        const FullAxis zooms[] = {
            whole,                                                           // 20 Hz .. 24 kHz, log
            ZoomFullAxis(linear, FullAxisPosition(linear, 1000.0f), 10.0f),  // 2.4 kHz wide
            ZoomFullAxis(linear, FullAxisPosition(linear, 900.0f), 150.0f),  // 160 Hz wide
        };
        for (const FullAxis& axis : zooms) {
            FullTickList ticks;
            BuildFullFrequencyTicks(axis, 70.0f, &ticks);
            const FullTick* tick = TickAt(ticks, 1000.0f);
            ASSERT_NE(tick, nullptr) << width << " " << axis.lowHz << " .. " << axis.highHz;
            EXPECT_STREQ(tick->label, "1 kHz");
            const std::vector<float> levels = Levels(axis);
            const int peak = HighestPosition(levels.data(), axis.positions);
            EXPECT_NEAR(peak, std::floor(tick->position), 1.0)
                << width << " " << axis.lowHz << " .. " << axis.highHz;
            // The pointer on the peak reads the tone within one bin.
            EXPECT_NEAR(FullAxisFrequency(axis, float(peak) + 0.5f), 1000.0f, FullSpectrum.binHz);
        }
    }
}

TEST(FullAxis, ZoomKeepsTheFrequencyUnderThePointerAndResetShowsItAll) {
    for (bool log : {false, true}) {
        const FullAxis whole = WholeFullAxis(1000, log, 24000.0f);
        const float pointer = 250.0f;
        const float hz = FullAxisFrequency(whole, pointer);
        FullAxis zoomed = ZoomFullAxis(whole, pointer, 4.0f);
        EXPECT_NEAR(FullAxisFrequency(zoomed, pointer), hz, hz * 1e-4f) << log;
        EXPECT_LT(zoomed.highHz - zoomed.lowHz, (whole.highHz - whole.lowHz) / 2.0f);
        // Out by the same factor: the whole band again; further out changes nothing.
        const FullAxis back = ZoomFullAxis(zoomed, pointer, 0.25f);
        EXPECT_NEAR(back.lowHz, whole.lowHz, 1e-2f) << log;
        EXPECT_NEAR(back.highHz, whole.highHz, 1e-1f) << log;
        const FullAxis beyond = ZoomFullAxis(whole, pointer, 0.1f);
        EXPECT_EQ(beyond.lowHz, whole.lowHz);
        EXPECT_EQ(beyond.highHz, whole.highHz);
        // Zooming in stops at the narrowest band.
        for (int i = 0; i < 40; i++)
            zoomed = ZoomFullAxis(zoomed, pointer, 2.0f);
        EXPECT_GE(zoomed.highHz - zoomed.lowHz, kFullMinSpanHz * 0.999f) << log;
        EXPECT_LT(zoomed.highHz - zoomed.lowHz, kFullMinSpanHz * 2.0f) << log;
        for (float bad : {NAN, INFINITY, 0.0f, -2.0f}) {
            const FullAxis same = ZoomFullAxis(zoomed, pointer, bad);
            EXPECT_EQ(same.lowHz, zoomed.lowHz);
            EXPECT_EQ(same.highHz, zoomed.highHz);
        }
    }
}

TEST(FullAxis, PanMovesByPixelsAndStopsAtTheEnds) {
    const FullAxis whole = WholeFullAxis(1000, false, 24000.0f);
    const FullAxis zoomed = ZoomFullAxis(whole, 500.0f, 10.0f);  // 2.4 kHz over 1000 px
    const FullAxis moved = PanFullAxis(zoomed, 100.0f);
    EXPECT_NEAR(moved.lowHz - zoomed.lowHz, 240.0f, 0.01f);
    EXPECT_NEAR(moved.highHz - moved.lowHz, zoomed.highHz - zoomed.lowHz, 0.01f);
    const FullAxis top = PanFullAxis(zoomed, 1e6f);
    EXPECT_EQ(top.highHz, 24000.0f);
    EXPECT_NEAR(top.highHz - top.lowHz, 2400.0f, 0.01f);
    const FullAxis bottom = PanFullAxis(zoomed, -1e6f);
    EXPECT_EQ(bottom.lowHz, 0.0f);
    EXPECT_NEAR(bottom.highHz, 2400.0f, 0.01f);
    EXPECT_EQ(PanFullAxis(zoomed, NAN).lowHz, zoomed.lowHz);
    // On a log axis a pan moves by equal ratios.
    const FullAxis log = ZoomFullAxis(WholeFullAxis(1000, true, 24000.0f), 500.0f, 4.0f);
    const FullAxis logMoved = PanFullAxis(log, 50.0f);
    EXPECT_NEAR(logMoved.highHz / logMoved.lowHz, log.highHz / log.lowHz, 1e-3f);
    EXPECT_GT(logMoved.lowHz, log.lowHz);
}

TEST(FullAxis, SwitchingScaleOrSizeKeepsTheBand) {
    FullAxis band = ZoomFullAxis(WholeFullAxis(800, false, 24000.0f), 400.0f, 8.0f);
    const FullAxis rescaled = RescaledFullAxis(band, true);
    EXPECT_NEAR(rescaled.lowHz, band.lowHz, 0.01f);
    EXPECT_NEAR(rescaled.highHz, band.highHz, 0.05f);
    const FullAxis wider = ResizedFullAxis(band, 1600);
    EXPECT_EQ(wider.lowHz, band.lowHz);
    EXPECT_NEAR(FullAxisPosition(wider, 12000.0f), 2.0f * FullAxisPosition(band, 12000.0f), 1e-2f);
    // The whole band stays whole: from 0 Hz on a linear scale, kFullLogLowestHz on a log one.
    const FullAxis log = RescaledFullAxis(WholeFullAxis(800, false, 24000.0f), true);
    EXPECT_EQ(log.lowHz, kFullLogLowestHz);
    EXPECT_EQ(log.highHz, 24000.0f);
    EXPECT_EQ(RescaledFullAxis(log, false).lowHz, 0.0f);
    // A zoomed band reaching below what a log scale shows starts there.
    const FullAxis low = ZoomFullAxis(WholeFullAxis(800, false, 24000.0f), 0.0f, 100.0f);
    EXPECT_EQ(RescaledFullAxis(low, true).lowHz, kFullLogLowestHz);
}

TEST(FullAxis, TicksAreRoundAndReadableAtEveryZoomAndWidth) {
    for (bool log : {false, true}) {
        for (int width : {200, 640, 1920, 7680}) {
            FullAxis axis = WholeFullAxis(width, log, 24000.0f);
            for (int zoom = 0; zoom < 14; zoom++) {
                FullTickList ticks;
                BuildFullFrequencyTicks(axis, 60.0f, &ticks);
                EXPECT_GE(ticks.count, width >= 640 ? 2 : 1) << log << " " << width << " " << zoom;
                for (int i = 0; i < ticks.count; i++) {
                    const FullTick& t = ticks.ticks[i];
                    EXPECT_GE(t.value, axis.lowHz);
                    EXPECT_LE(t.value, axis.highHz);
                    EXPECT_NEAR(t.position, FullAxisPosition(axis, t.value), 1e-3f);
                    EXPECT_NE(t.label[0], '\0');
                    if (i > 0) {
                        EXPECT_GE(t.position - ticks.ticks[i - 1].position, 60.0f - 1e-3f)
                            << log << " " << width << " zoom " << zoom << " " << t.label;
                        EXPECT_STRNE(t.label, ticks.ticks[i - 1].label);
                    }
                }
                axis = ZoomFullAxis(axis, float(width) * 0.3f, 2.0f);
            }
        }
    }
}

TEST(FullAxis, LabelsSayHertzOrKilohertzWithTheDecimalsThatMatter) {
    char text[kFullLabelSize];
    const struct {
        float hz, resolution;
        const char* text;
    } cases[] = {
        {500.0f, 100.0f, "500 Hz"},     {1000.0f, 1000.0f, "1 kHz"},  {1500.0f, 500.0f, "1.5 kHz"},
        {12500.0f, 100.0f, "12.5 kHz"}, {1002.0f, 1.0f, "1.002 kHz"}, {440.5f, 0.1f, "440.5 Hz"},
        {0.0f, 1000.0f, "0 Hz"},        {2000.0f, 10.0f, "2 kHz"},
    };
    for (const auto& c : cases) {
        FormatFullFrequency(c.hz, c.resolution, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
    EXPECT_EQ(FormatFullFrequency(1500.0f, 500.0f, text, 4), 3);
    EXPECT_STREQ(text, "1.5");

    FullTickList ticks;
    BuildFullFrequencyTicks(WholeFullAxis(1000, true, 24000.0f), 30.0f, &ticks);
    ASSERT_NE(TickAt(ticks, 20000.0f), nullptr);
    EXPECT_STREQ(TickAt(ticks, 20000.0f)->label, "20 kHz");
    ASSERT_NE(TickAt(ticks, 200.0f), nullptr);
    EXPECT_STREQ(TickAt(ticks, 200.0f)->label, "200 Hz");
}

TEST(FullAxis, DbTicksSpanTheScaleAtRoundSteps) {
    FullTickList ticks;
    BuildFullDbTicks(-120.0f, 0.0f, 600, 40.0f, &ticks);
    ASSERT_EQ(ticks.count, 13);  // every 10 dB: 50 px apart
    EXPECT_STREQ(ticks.ticks[0].label, "-120 dB");
    EXPECT_STREQ(ticks.ticks[12].label, "0 dB");
    EXPECT_FLOAT_EQ(ticks.ticks[6].position, 300.0f);
    BuildFullDbTicks(-3.0f, -1.0f, 400, 40.0f, &ticks);
    ASSERT_GE(ticks.count, 2);
    EXPECT_STREQ(ticks.ticks[1].label, "-2.8 dB");
    BuildFullDbTicks(0.0f, 0.0f, 400, 40.0f, &ticks);
    EXPECT_EQ(ticks.count, 0);
}

TEST(FullAxis, ColumnsWiderThanABinShowTheirHighestBin) {
    const float bins[] = {-50, -40, -10, -30, -60, -70, -20, -80, -90};
    FullAxis axis = WholeFullAxis(3, false, 9.0f);  // 3 bins of 1 Hz per column
    BuildFullPositionMap(axis, 1.0f, 9, 0.23f);
    float levels[3];
    FullPositionLevels(bins, levels);
    // Bins 0..2 centre in column 0 ([0, 3) Hz), 3..5 in column 1, 6..8 in column 2.
    EXPECT_FLOAT_EQ(levels[0], -10.0f);
    EXPECT_FLOAT_EQ(levels[1], -30.0f);
    EXPECT_FLOAT_EQ(levels[2], -20.0f);
}

}  // namespace
