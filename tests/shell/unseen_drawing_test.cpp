// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing that nobody sees: a waveform strip left undrawn and frames composed without being
// shown must leave the picture exactly as drawing everything would, by the time anyone
// looks: after kStripFadesOutBlocks drawn blocks, at a frame that is shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/headless/display_memory.h"
#include "raster/display.h"
#include "raster/surface.h"
#include "shell/pipeline.h"
#include "shell/settings.h"
#include "tests/shell/shell_test_support.h"
#include "views/view_frame.h"
#include "views/view_state.h"

namespace {

constexpr int kBlock = 1024;
constexpr int kStripPixels = kSurfaceWidth * kWaveformStripRows;

// A loud tone whose pitch and level change every block, over noise: the strip's trace
// covers most of its rows, and every block's trace differs.
void MakeBlock(int index, int16_t* block) {
    uint32_t noise = 2463534242u + static_cast<uint32_t>(index);
    const double hz = 180.0 + 37.0 * (index % 19);
    const double level = 4000.0 + 1500.0 * (index % 7);
    for (int i = 0; i < kBlock; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double t = (static_cast<double>(index) * kBlock + i) / 22050.0;
        const double v = level * std::sin(2 * 3.141592653589793 * hz * t) +
                         static_cast<double>(noise >> 20) - 2048.0;
        block[i] = static_cast<int16_t>(std::lround(v));
    }
}

void ShowView(int view) {
    const AnalyzerSettingsRecord& a = AnalyzerSettings;
    ViewMode = view;
    if (view == kSpectrumView) {
        EnterSpectrumView(a.captureRate, a.fftSize, EffectiveRateSetting(), a.logScale);
    } else {
        EnterSpectrogramView(a.captureRate, a.fftSize, EffectiveRateSetting(), a.logScale);
    }
}

struct Picture {
    std::vector<uint16_t> screen, canvas;
};

// `blocks` blocks from start-up in the spectrogram, the spectrum view from `switchAt`;
// blocks in [unseenFrom, unseenTo) neither draw the strip nor show their frame.
Picture RunBlocks(int blocks, int switchAt, int unseenFrom, int unseenTo) {
    StartCore();
    int16_t block[kBlock];
    for (int b = 0; b < blocks; ++b) {
        if (b == switchAt) ShowView(kSpectrumView);
        stripUnseen = presentUnseen = b >= unseenFrom && b < unseenTo;
        MakeBlock(b, block);
        ProcessBlock(block, kBlock, false);
    }
    stripUnseen = presentUnseen = false;
    return {std::vector<uint16_t>(std::begin(MemoryDisplay.pixels), std::end(MemoryDisplay.pixels)),
            std::vector<uint16_t>(CanvasSurface.pixels, CanvasSurface.pixels + kSurfacePixels)};
}

TEST(UnseenDrawing, StripLeftUndrawnIsExactOnceItsFadeOutIsDrawn) {
    // In either view, and across a switch while unseen, which changes the fades' turns.
    const int switches[] = {1000, 2, 60};
    for (const int switchAt : switches) {
        SCOPED_TRACE(switchAt);
        const int end = 140 + kStripFadesOutBlocks;
        const Picture all = RunBlocks(end, switchAt, 0, 0);
        const Picture skipped = RunBlocks(end, switchAt, 5, 140);
        EXPECT_EQ(skipped.screen, all.screen);
        EXPECT_EQ(skipped.canvas, all.canvas);
        // The strip's history shows for a while after it is drawn again: the skip is real.
        const Picture early = RunBlocks(150, switchAt, 5, 140);
        const Picture allEarly = RunBlocks(150, switchAt, 0, 0);
        EXPECT_NE(early.canvas, allEarly.canvas);
    }
}

TEST(UnseenDrawing, UnseenFramesAreComposedButNotShown) {
    const Picture shown = RunBlocks(40, 1000, 0, 0);
    const Picture lastShown = RunBlocks(30, 1000, 0, 0);
    // Blocks 30 to 39 compose onto the canvas as ever; the screen keeps block 29's frame.
    StartCore();
    int16_t block[kBlock];
    for (int b = 0; b < 40; ++b) {
        presentUnseen = b >= 30;
        MakeBlock(b, block);
        ProcessBlock(block, kBlock, false);
    }
    presentUnseen = false;
    EXPECT_TRUE(std::equal(shown.canvas.begin(), shown.canvas.end(), CanvasSurface.pixels));
    EXPECT_TRUE(std::equal(lastShown.screen.begin(), lastShown.screen.end(), MemoryDisplay.pixels));
    EXPECT_NE(shown.screen, lastShown.screen);
}

// The ground of kStripFadesOutBlocks: whatever the strip holds, and wherever the fades'
// rhythm stands, the fades of that many blocks in either view take every pixel to black.
TEST(UnseenDrawing, StripFadesEveryPixelToBlackWithinTheBound) {
    for (const bool spectrum : {false, true}) {
        for (int start = 0; start < 10; ++start) {
            for (int first = 0; first < 65536; first += kStripPixels) {
                ResetSurfaces();
                FadeState.accumulator = 20 * (start % 5);
                FadeState.phase = static_cast<uint8_t>(start / 5);
                for (int i = 0; i < kStripPixels; ++i)
                    CanvasSurface.pixels[i] = static_cast<uint16_t>(first + i);
                for (int b = 0; b < kStripFadesOutBlocks - 1; ++b) {
                    FadeWaveformStrip();
                    if (spectrum) FadeSpectrumPlot();
                }
                int lit = 0;
                for (int i = 0; i < kStripPixels; ++i)
                    lit += CanvasSurface.pixels[i] != 0;
                EXPECT_EQ(lit, 0) << "view " << spectrum << ", rhythm " << start << ", from "
                                  << first;
            }
        }
    }
}

}  // namespace
