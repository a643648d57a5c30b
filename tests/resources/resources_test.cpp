// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "resources/buttons.h"
#include "resources/resources.h"

namespace {

constexpr int kImageSize = 16;
constexpr int kSpectrumBars[] = {127, 125};     // noise reference off, on
constexpr int kSpectrogramBars[] = {128, 126};  // noise reference off, on

// One XPM image as the tool bar's image loader would read it, one character per pixel.
struct Xpm {
    int width = 0;
    int height = 0;
    std::map<char, std::string> colours;
    std::vector<std::string> rows;
};

// Reads the header first and stops at the first malformed line, so a wrong count is
// reported instead of read past the end of the array.
testing::AssertionResult ParseXpm(const char* const* data, Xpm& out) {
    if (data == nullptr) return testing::AssertionFailure() << "no data";
    int ncolors = 0;
    int cpp = 0;
    char extra = 0;
    if (std::sscanf(data[0], "%d %d %d %d %c", &out.width, &out.height, &ncolors, &cpp, &extra) !=
        4) {
        return testing::AssertionFailure() << "bad header \"" << data[0] << "\"";
    }
    if (out.height != kImageSize || cpp != 1 || ncolors < 1 || ncolors > 64 ||
        out.width < kImageSize || out.width % kImageSize != 0) {
        return testing::AssertionFailure() << "unexpected geometry \"" << data[0] << "\"";
    }
    for (int i = 1; i <= ncolors; ++i) {
        const std::string line = data[i];
        std::istringstream fields(line.size() > 1 ? line.substr(1) : "");
        std::string key, value, more;
        if (line.size() < 2 || !(fields >> key >> value) || key != "c" || (fields >> more)) {
            return testing::AssertionFailure() << "bad colour line \"" << line << "\"";
        }
        if (!out.colours.emplace(line[0], value).second) {
            return testing::AssertionFailure() << "colour '" << line[0] << "' defined twice";
        }
    }
    for (int r = 0; r < out.height; ++r) {
        const std::string row = data[1 + ncolors + r];
        if (static_cast<int>(row.size()) != out.width) {
            return testing::AssertionFailure()
                   << "row " << r << " has " << row.size() << " pixels, not " << out.width;
        }
        for (char c : row) {
            if (out.colours.count(c) == 0) {
                return testing::AssertionFailure() << "row " << r << ": undefined '" << c << "'";
            }
        }
        out.rows.push_back(row);
    }
    return testing::AssertionSuccess();
}

// Image k of a strip as colour values, so that images compare across palettes.
std::vector<std::string> ImageColours(const Xpm& strip, int k) {
    std::vector<std::string> pixels;
    for (const std::string& row : strip.rows) {
        for (int x = 0; x < kImageSize; ++x)
            pixels.push_back(strip.colours.at(row[k * 16 + x]));
    }
    return pixels;
}

Xpm Strip(int bitmapId) {
    Xpm strip;
    EXPECT_TRUE(ParseXpm(ButtonStripXpm(bitmapId), strip)) << "bitmap " << bitmapId;
    return strip;
}

// WCAG relative luminance of "#RRGGBB"; -1 for anything else.
double Luminance(const std::string& colour) {
    unsigned rgb = 0;
    if (colour.size() != 7 || std::sscanf(colour.c_str(), "#%6x", &rgb) != 1) return -1;
    const auto channel = [](unsigned v) {
        const double c = v / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(rgb >> 16 & 0xFF) + 0.7152 * channel(rgb >> 8 & 0xFF) +
           0.0722 * channel(rgb & 0xFF);
}

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- Button strips ----

TEST(ButtonStrips, EachBarHasOneXpmStripOfSixteenPixelImages) {
    for (int id : kSpectrumBars) {
        EXPECT_EQ(ButtonStripImages(id), 6) << "bitmap " << id;
        EXPECT_EQ(Strip(id).width, 6 * kImageSize) << "bitmap " << id;
    }
    for (int id : kSpectrogramBars) {
        EXPECT_EQ(ButtonStripImages(id), 4) << "bitmap " << id;
        EXPECT_EQ(Strip(id).width, 4 * kImageSize) << "bitmap " << id;
    }
    for (int id : {-128, 0, 1, 124, 129, 1206}) {
        EXPECT_EQ(ButtonStripXpm(id), nullptr) << "bitmap " << id;
        EXPECT_EQ(ButtonStripImages(id), 0) << "bitmap " << id;
    }
}

// The tool bar is dark grey: every image needs a fair number of pixels that contrast with
// it (WCAG ratio 3:1 or more), on a transparent background.
TEST(ButtonStrips, EveryImageStandsOutOnTheDarkToolBar) {
    const double toolBar = Luminance("#404040");
    for (int id : {125, 126, 127, 128}) {
        const Xpm strip = Strip(id);
        for (int k = 0; k < ButtonStripImages(id); ++k) {
            const std::vector<std::string> pixels = ImageColours(strip, k);
            int visible = 0;
            int transparent = 0;
            for (const std::string& colour : pixels) {
                if (colour == "None") {
                    ++transparent;
                    continue;
                }
                const double l = Luminance(colour);
                ASSERT_GE(l, 0) << "bitmap " << id << ": colour " << colour << " not #RRGGBB";
                if ((std::max(l, toolBar) + 0.05) / (std::min(l, toolBar) + 0.05) >= 3) {
                    ++visible;
                }
            }
            EXPECT_GE(visible, 12) << "bitmap " << id << ", image " << k;
            EXPECT_EQ(pixels.front(), "None") << "bitmap " << id << ", image " << k;
            EXPECT_GT(transparent, 256 / 3) << "bitmap " << id << ", image " << k;
        }
    }
}

// A button looks the same on both bars and in both noise states; only the noise image
// changes with the reference, and no two buttons of a bar look alike.
TEST(ButtonStrips, ButtonsKeepTheirImageAcrossBarsAndOnlyTheNoiseImageChanges) {
    const int spectrumSlotOf[] = {0, 3, 4, 5};  // pause, dB labels, noise, automatic range
    for (int state = 0; state < 2; ++state) {
        const Xpm spectrum = Strip(kSpectrumBars[state]);
        const Xpm spectrogram = Strip(kSpectrogramBars[state]);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(ImageColours(spectrogram, k), ImageColours(spectrum, spectrumSlotOf[k]))
                << "noise state " << state << ", spectrogram image " << k;
        }
        std::set<std::vector<std::string>> distinct;
        for (int k = 0; k < 6; ++k)
            distinct.insert(ImageColours(spectrum, k));
        EXPECT_EQ(distinct.size(), 6u) << "noise state " << state;
    }
    const Xpm off = Strip(127);
    const Xpm on = Strip(125);
    for (int k = 0; k < 6; ++k) {
        if (k == 4) {
            EXPECT_NE(ImageColours(off, k), ImageColours(on, k)) << "the struck noise image";
        } else {
            EXPECT_EQ(ImageColours(off, k), ImageColours(on, k)) << "image " << k;
        }
    }
}

// ---- Help page ----

TEST(HelpPage, OpensAtItsContentsAndDescribesEveryMenuItem) {
    const std::string page = ReadFile(QUILLO_HELP_SOURCE_FILE);
    ASSERT_FALSE(page.empty()) << QUILLO_HELP_SOURCE_FILE;
    EXPECT_NE(page.find("<a name=\"Main_Contents\">"), std::string::npos);
    for (const char* item : {"Exit", "Spectrum Analyzer", "Spectrogram", "Option", "Accurate Pitch",
                             "About", "Content"}) {
        EXPECT_NE(page.find(item), std::string::npos) << item;
    }
}

TEST(HelpPage, EveryLinkWithinThePageHasItsAnchor) {
    const std::string page = ReadFile(QUILLO_HELP_SOURCE_FILE);
    std::set<std::string> anchors;
    const std::string nameTag = "<a name=\"";
    for (size_t at = page.find(nameTag); at != std::string::npos; at = page.find(nameTag, at)) {
        at += nameTag.size();
        anchors.insert(page.substr(at, page.find('"', at) - at));
    }
    const std::string hrefTag = "<a href=\"#";
    int links = 0;
    for (size_t at = page.find(hrefTag); at != std::string::npos; at = page.find(hrefTag, at)) {
        at += hrefTag.size();
        const std::string target = page.substr(at, page.find('"', at) - at);
        EXPECT_EQ(anchors.count(target), 1u) << "#" << target;
        ++links;
    }
    EXPECT_GT(links, 0);
}

// ---- About box ----

// The notices the licence asks an interactive program to show, in controls that each keep
// their own rows of the dialog.
TEST(AboutBox, GivesTheLicenceNoticesAndNoControlsOverlap) {
    const DialogResource* about = FindDialogResource(kAboutDialog);
    ASSERT_NE(about, nullptr);
    std::string text;
    for (int i = 0; i < about->count; i++) {
        const DialogControlResource& a = about->controls[i];
        const std::string name = a.text != nullptr ? a.text : "the icon";
        if (a.text != nullptr) text += name + " ";
        EXPECT_LE(a.y + a.height, about->height) << name;
        for (int j = i + 1; j < about->count; j++) {
            const DialogControlResource& b = about->controls[j];
            const bool apart = a.x + a.width <= b.x || b.x + b.width <= a.x ||
                               a.y + a.height <= b.y || b.y + b.height <= a.y;
            EXPECT_TRUE(apart) << name << " / " << b.text;
        }
    }
    for (const char* notice : {"Copyright", "GNU GPL, version 3 or later", "NO WARRANTY",
                               "https://www.gnu.org/licenses/"}) {
        EXPECT_NE(text.find(notice), std::string::npos) << notice;
    }
}

// ---- Demo recording ----

// The FLAC stream header: "fLaC", then the STREAMINFO block, which carries the rate,
// channels, sample size and length in bit fields.
TEST(DemoRecording, IsAShortMonoSixteenBitFlacAt22050Hz) {
    const std::string file = ReadFile(QUILLO_DEMO_FILE);
    ASSERT_GE(file.size(), 42u) << QUILLO_DEMO_FILE;
    EXPECT_LT(file.size(), 1000000u);
    ASSERT_EQ(file.substr(0, 4), "fLaC");
    const auto byte = [&](size_t i) { return static_cast<uint64_t>(uint8_t(file[i])); };
    EXPECT_EQ(byte(4) & 0x7F, 0u) << "the first metadata block is not STREAMINFO";
    EXPECT_EQ(byte(5) << 16 | byte(6) << 8 | byte(7), 34u);
    // Bytes 18 to 25: rate (20 bits), channels - 1 (3), bits - 1 (5), total samples (36).
    uint64_t bits = 0;
    for (size_t i = 18; i < 26; ++i)
        bits = bits << 8 | byte(i);
    const uint64_t rate = bits >> 44;
    const uint64_t channels = (bits >> 41 & 0x7) + 1;
    const uint64_t sampleBits = (bits >> 36 & 0x1F) + 1;
    const uint64_t samples = bits & 0xFFFFFFFFFull;
    EXPECT_EQ(rate, 22050u);
    EXPECT_EQ(channels, 1u);
    EXPECT_EQ(sampleBits, 16u);
    EXPECT_GE(samples, 10u * 22050u);
    EXPECT_LE(samples, 20u * 22050u);
}

}  // namespace
