// SPDX-License-Identifier: GPL-3.0-or-later
// The display connection against a scripted back end: open checks, strides, the composed
// copy, suspend and close.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "raster/display.h"
#include "raster/display_backend.h"
#include "raster/surface.h"
#include "tests/raster/pixels.h"

namespace {

constexpr uint16_t kUntouched = 0xFFFF;  // above every canvas value the view copies

// A screen of 240 x 320 pixels whose layout, answers and failures a test chooses; it
// counts every call the display connection makes.
struct ScriptedDisplay {
    bool openResult = true;
    DisplayProperties properties = {240, 320, 2, 480, 16, kDisplayFormatRgb565};
    bool inMemory = false;
    bool nullFrame = false;
    std::u16string oemText;
    ptrdiff_t originIndex = 0;  // where the pixel origin lies in `frame`
    std::vector<uint16_t> frame = std::vector<uint16_t>(240 * 320, kUntouched);
    int opens = 0, viewports = 0, propertyQueries = 0, memoryQueries = 0;
    int begins = 0, ends = 0, closes = 0, fixedQueries = 0;
    int lastViewportTop = -1, lastViewportHeight = -1;
    std::vector<std::string> calls;
};
ScriptedDisplay* script = nullptr;

const DisplayBackEnd kScriptedBackEnd = {
    [](void*) {
        ++script->opens;
        script->calls.push_back("open");
        return script->openResult;
    },
    [](int top, int height) {
        ++script->viewports;
        script->lastViewportTop = top;
        script->lastViewportHeight = height;
        script->calls.push_back("viewport");
    },
    [] {
        ++script->propertyQueries;
        return script->properties;
    },
    [] {
        ++script->memoryQueries;
        script->calls.push_back("inMemory");
        return script->inMemory;
    },
    []() -> uint16_t* {
        ++script->begins;
        return script->nullFrame ? nullptr : script->frame.data() + script->originIndex;
    },
    [] { ++script->ends; },
    [] { ++script->closes; },
    []() -> uint16_t* {
        ++script->fixedQueries;
        return script->frame.data() + script->originIndex;
    },
    [](char16_t* text, int capacity) {
        if (script->oemText.empty()) return false;
        std::copy_n(script->oemText.begin(), std::min<size_t>(capacity, script->oemText.size()),
                    text);
        return true;
    },
};

class DisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        script = &display;
        SetDisplayBackEnd(&kScriptedBackEnd);
        SetViewArea(0, 26, 240, 268);
        Fill(OverlaySurface, 0);
        for (int i = 0; i < kSurfacePixels; ++i)
            CanvasSurface.pixels[i] = uint16_t(i);
    }
    void TearDown() override {
        CloseDisplay();
        ResumeDrawing();
        SetDisplayBackEnd(nullptr);
        script = nullptr;
    }
    int Calls() const {
        return display.opens + display.viewports + display.propertyQueries + display.memoryQueries +
               display.begins + display.ends + display.closes + display.fixedQueries;
    }
    ScriptedDisplay display;
};

TEST_F(DisplayTest, OpenFailsAndReleasesTheDisplayUnlessItIs16BitRgb565) {
    display.openResult = false;
    EXPECT_FALSE(OpenDisplay(nullptr));
    EXPECT_EQ(display.closes, 0);

    struct Case {
        int bpp;
        uint32_t format;
        int xPitch, yPitch;
    };
    for (const Case& c : {Case{8, 0x80, 2, 480}, Case{16, 0x40, 2, 480}, Case{16, 0x80, 1, 480},
                          Case{16, 0x80, -1, 480}, Case{16, 0x80, 2, 1}, Case{16, 0x80, 2, 0}}) {
        ScriptedDisplay fresh;
        display = fresh;
        display.properties = {240, 320, c.xPitch, c.yPitch, c.bpp, c.format};
        EXPECT_FALSE(OpenDisplay(nullptr)) << c.bpp << " " << c.format << " " << c.xPitch;
        EXPECT_FALSE(displayOpen);
        EXPECT_EQ(display.opens, 1);
        EXPECT_EQ(display.closes, 1);
        PresentFrame();
        EXPECT_EQ(display.begins, 0);
    }
    SetDisplayBackEnd(nullptr);
    EXPECT_FALSE(OpenDisplay(nullptr));
}

TEST_F(DisplayTest, PitchesGiveStridesAndOnlyTheViewRowsAreCopied) {
    ASSERT_TRUE(OpenDisplay(nullptr));
    EXPECT_TRUE(displayOpen);
    EXPECT_FALSE(fixedAddressDevice);
    EXPECT_EQ(xStride, 1);
    EXPECT_EQ(yStride, 240);
    EXPECT_EQ(display.lastViewportTop, 0);  // the whole screen height at opening
    EXPECT_EQ(display.lastViewportHeight, 320);

    PresentFrame();
    EXPECT_EQ(display.begins, 1);
    EXPECT_EQ(display.ends, 1);
    for (int r = 0; r < 320; ++r) {
        for (int c = 0; c < 240; ++c) {
            const bool view = r >= 26 && r <= 293;
            const uint16_t expected = view ? uint16_t((r - 26) * 240 + c) : kUntouched;
            ASSERT_EQ(display.frame[r * 240 + c], expected) << c << "," << r;
        }
    }

    // A narrower view copies only its own columns, from column 0.
    std::fill(display.frame.begin(), display.frame.end(), kUntouched);
    SetViewArea(0, 26, 100, 268);
    PresentFrame();
    EXPECT_EQ(display.frame[26 * 240 + 99], 99);
    EXPECT_EQ(display.frame[26 * 240 + 100], kUntouched);
}

TEST_F(DisplayTest, RotatedPitchesWriteEachRowAcrossTheFrameBuffer) {
    display.properties.cbxPitch = -640;
    display.properties.cbyPitch = 2;
    display.originIndex = 239 * 320;  // screen column 239 lies at the buffer's start
    ASSERT_TRUE(OpenDisplay(nullptr));
    EXPECT_EQ(xStride, -320);
    EXPECT_EQ(yStride, 1);
    PresentFrame();
    const ptrdiff_t o = display.originIndex;
    EXPECT_EQ(display.frame[o + 26], 0);        // canvas (0, 0)
    EXPECT_EQ(display.frame[o + 26 - 320], 1);  // canvas (1, 0)
    EXPECT_EQ(display.frame[o + 27], 240);      // canvas (0, 1)
    EXPECT_EQ(display.frame[o + 293 - 239 * 320], 267 * 240 + 239);
    int written = 0;
    for (uint16_t p : display.frame)
        written += p != kUntouched;
    EXPECT_EQ(written, 240 * 268);

    // Odd pitches are halved toward zero, not down.
    CloseDisplay();
    display.properties.cbxPitch = -3;
    display.properties.cbyPitch = -481;
    ASSERT_TRUE(OpenDisplay(nullptr));
    EXPECT_EQ(xStride, -1);
    EXPECT_EQ(yStride, -240);
}

TEST_F(DisplayTest, ComposeWritesNonZeroOverlayPixelsIntoTheCanvasWhichKeepsThem) {
    ASSERT_TRUE(OpenDisplay(nullptr));
    OverlaySurface.pixels[5] = 0xF800;
    OverlaySurface.pixels[267 * 240 + 239] = 0xFFFF;
    OverlaySurface.pixels[268 * 240] = 0xFFFF;  // below the view: not composed
    PresentFrame();
    EXPECT_EQ(CanvasSurface.pixels[5], 0xF800);
    EXPECT_EQ(CanvasSurface.pixels[4], 4);
    EXPECT_EQ(CanvasSurface.pixels[267 * 240 + 239], 0xFFFF);
    EXPECT_EQ(CanvasSurface.pixels[268 * 240], uint16_t(268 * 240));
    EXPECT_EQ(display.frame[26 * 240 + 5], 0xF800);
    EXPECT_EQ(display.frame[26 * 240 + 4], 4);
    EXPECT_EQ(OverlaySurface.pixels[5], 0xF800);

    // An erased overlay mark stays on the canvas until the canvas is redrawn.
    OverlaySurface.pixels[5] = 0;
    PresentFrame();
    EXPECT_EQ(display.frame[26 * 240 + 5], 0xF800);
}

TEST_F(DisplayTest, SuspendedClosedOrFramelessPresentsDoNothing) {
    PresentFrame();  // before opening
    EXPECT_EQ(Calls(), 0);

    ASSERT_TRUE(OpenDisplay(nullptr));
    const int afterOpen = Calls();
    SuspendDrawing();
    SuspendDrawing();
    EXPECT_TRUE(drawingSuspended);
    OverlaySurface.pixels[0] = 0xF800;
    PresentFrame();
    EXPECT_EQ(Calls(), afterOpen);
    EXPECT_EQ(CanvasSurface.pixels[0], 0);
    EXPECT_EQ(display.frame[26 * 240], kUntouched);
    ResumeDrawing();
    EXPECT_FALSE(drawingSuspended);

    display.nullFrame = true;
    PresentFrame();
    EXPECT_EQ(display.begins, 1);
    EXPECT_EQ(display.ends, 0);
    EXPECT_EQ(CanvasSurface.pixels[0], 0);
    display.nullFrame = false;
    PresentFrame();
    EXPECT_EQ(display.ends, 1);
    EXPECT_EQ(display.frame[26 * 240], 0xF800);

    CloseDisplay();
    CloseDisplay();
    EXPECT_EQ(display.closes, 1);
    EXPECT_FALSE(displayOpen);
    const int afterClose = Calls();
    PresentFrame();
    EXPECT_EQ(Calls(), afterClose);
}

TEST_F(DisplayTest, ViewportIsSetOnlyForMemoryFrameBuffersOrTheFixedDevice) {
    ASSERT_TRUE(OpenDisplay(nullptr));
    display.calls.clear();
    SetDisplayViewport(26, 268);
    EXPECT_EQ(display.calls, std::vector<std::string>{"inMemory"});
    display.inMemory = true;
    SetDisplayViewport(26, 268);
    EXPECT_EQ(display.calls, (std::vector<std::string>{"inMemory", "inMemory", "viewport"}));
    EXPECT_EQ(display.lastViewportTop, 26);
    EXPECT_EQ(display.lastViewportHeight, 268);
}

TEST_F(DisplayTest, FixedAddressDeviceUsesFixedStridesAndNoFrameCalls) {
    display.oemText = u"Pocket PC - H3800 series";  // H, 3, 8 at characters 12 to 14
    display.originIndex = 239 * 320;
    display.properties.cBPP = 8;  // never asked on this device
    ASSERT_TRUE(OpenDisplay(nullptr));
    EXPECT_TRUE(fixedAddressDevice);
    EXPECT_EQ(display.propertyQueries, 0);
    EXPECT_EQ(xStride, -320);
    EXPECT_EQ(yStride, 1);

    display.calls.clear();
    SetDisplayViewport(26, 268);  // asked whether in memory, then set anyway
    EXPECT_EQ(display.calls, (std::vector<std::string>{"inMemory", "viewport"}));

    PresentFrame();
    EXPECT_EQ(display.begins + display.ends, 0);
    EXPECT_EQ(display.fixedQueries, 1);
    EXPECT_EQ(display.frame[239 * 320 + 26], 0);
    EXPECT_EQ(display.frame[238 * 320 + 26], 1);
    CloseDisplay();

    for (const char16_t* other : {u"Pocket PC - H3", u"Pocket PC - h3800", u""}) {
        display.oemText = other;
        display.properties.cBPP = 16;
        ASSERT_TRUE(OpenDisplay(nullptr));
        EXPECT_FALSE(fixedAddressDevice);
        EXPECT_EQ(xStride, 1);
        CloseDisplay();
    }
}

}  // namespace
