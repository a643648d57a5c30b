// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory display back end under the real display connection.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/headless/display_memory.h"
#include "raster/display.h"
#include "raster/surface.h"
#include "tests/raster/pixels.h"

namespace {

class MemoryDisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetDisplayBackEnd(&MemoryDisplayBackEnd);
        SetViewArea(0, 26, 240, 268);
        Fill(OverlaySurface, 0);
        for (int i = 0; i < kSurfacePixels; ++i)
            CanvasSurface.pixels[i] = uint16_t(i + 1);
        std::fill(std::begin(MemoryDisplay.pixels), std::end(MemoryDisplay.pixels), uint16_t{0});
    }
    void TearDown() override {
        CloseDisplay();
        SetDisplayBackEnd(nullptr);
    }
};

TEST_F(MemoryDisplayTest, PresentsTheViewRowsInScreenLayout) {
    ASSERT_TRUE(OpenDisplay(nullptr));
    EXPECT_EQ(xStride, 1);
    EXPECT_EQ(yStride, 240);
    SetDisplayViewport(26, 268);
    EXPECT_EQ(MemoryDisplay.viewportTop, 26);
    EXPECT_EQ(MemoryDisplay.viewportHeight, 268);

    const int before = MemoryDisplay.framesPresented;
    PresentFrame();
    EXPECT_EQ(MemoryDisplay.framesPresented, before + 1);
    for (int r = 0; r < 320; ++r) {
        const bool view = r >= 26 && r < 26 + 268;
        for (int c = 0; c < 240; ++c) {
            ASSERT_EQ(MemoryDisplay.pixels[r * 240 + c], view ? (r - 26) * 240 + c + 1 : 0);
        }
    }
    CloseDisplay();
    EXPECT_FALSE(MemoryDisplay.isOpen);
    PresentFrame();
    EXPECT_EQ(MemoryDisplay.framesPresented, before + 1);
}

TEST_F(MemoryDisplayTest, FixedAddressProfileStaysInsideTheBuffer) {
    DisplayBackEnd fixedProfile = MemoryDisplayBackEnd;
    fixedProfile.readOemText = [](char16_t* text, int capacity) {
        const char16_t model[] = u"Pocket PC - H3870";
        std::copy_n(model, std::min<int>(capacity, sizeof(model) / 2), text);
        return true;
    };
    SetDisplayBackEnd(&fixedProfile);
    SetViewArea(0, 0, 240, 320);  // every screen pixel
    ASSERT_TRUE(OpenDisplay(nullptr));
    ASSERT_TRUE(fixedAddressDevice);
    PresentFrame();
    // Screen pixel (c, r) lies at 239 * 320 + r - 320 c.
    for (int r = 0; r < 320; ++r) {
        for (int c = 0; c < 240; ++c) {
            ASSERT_EQ(MemoryDisplay.pixels[239 * 320 + r - 320 * c], uint16_t(r * 240 + c + 1));
        }
    }
}

}  // namespace
