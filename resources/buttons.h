// SPDX-License-Identifier: GPL-3.0-or-later
// The menu-bar button images: 16 x 16 XPM with a transparent background, drawn light on
// the dark tool bar. The single images are the source; the four strips that the tool bar
// loads (one per view and noise-reference state) are written from them by
// scripts/make-button-strips.py. Edit an image, then run the script; never edit a strip.
#pragma once

// clang-format off

// Every image uses this one palette, so a strip is the images side by side.
//   ' ' transparent   '#' light strokes   'g' spectrum outline   'd' area under it
//   'r' red (the strike through the noise image, the "A" of the automatic range)

static const char* const kButtonPauseXpm[] = {
    "16 16 5 1",
    "  c None",
    "# c #F0F0F0",
    "g c #7CFC3C",
    "d c #3C8C28",
    "r c #FF4A3D",
    "                ",
    "                ",
    "                ",
    "    ###  ###    ",
    "    ###  ###    ",
    "    ###  ###    ",
    "    ###  ###    ",
    "    ###  ###    ",
    "    ###  ###    ",
    "    ###  ###    ",
    "    ###  ###    ",
    "    ###  ###    ",
    "    ###  ###    ",
    "                ",
    "                ",
    "                ",
};

static const char* const kButtonDbGridXpm[] = {
    "16 16 5 1",
    "  c None",
    "# c #F0F0F0",
    "g c #7CFC3C",
    "d c #3C8C28",
    "r c #FF4A3D",
    "                ",
    "                ",
    "                ",
    "  ############  ",
    "                ",
    "                ",
    "                ",
    "  ############  ",
    "                ",
    "                ",
    "                ",
    "  ############  ",
    "                ",
    "                ",
    "                ",
    "                ",
};

static const char* const kButtonFreqGridXpm[] = {
    "16 16 5 1",
    "  c None",
    "# c #F0F0F0",
    "g c #7CFC3C",
    "d c #3C8C28",
    "r c #FF4A3D",
    "                ",
    "                ",
    "   #   #   #    ",
    "   #   #   #    ",
    "   #   #   #    ",
    "   #   #   #    ",
    "   #   #   #    ",
    "   #   #   #    ",
    "   #   #   #    ",
    "   #   #   #    ",
    "   #   #   #    ",
    "   #   #   #    ",
    "   #   #   #    ",
    "   #   #   #    ",
    "                ",
    "                ",
};

static const char* const kButtonDbLabelsXpm[] = {
    "16 16 5 1",
    "  c None",
    "# c #F0F0F0",
    "g c #7CFC3C",
    "d c #3C8C28",
    "r c #FF4A3D",
    "                ",
    "                ",
    "                ",
    "     ##  #####  ",
    "     ##  ##  ## ",
    "     ##  ##  ## ",
    "  #####  ##  ## ",
    " ##  ##  #####  ",
    " ##  ##  ##  ## ",
    " ##  ##  ##  ## ",
    " ##  ##  ##  ## ",
    " ##  ##  ##  ## ",
    "  #####  #####  ",
    "                ",
    "                ",
    "                ",
};

static const char* const kButtonNoiseXpm[] = {
    "16 16 5 1",
    "  c None",
    "# c #F0F0F0",
    "g c #7CFC3C",
    "d c #3C8C28",
    "r c #FF4A3D",
    "                ",
    "                ",
    "                ",
    "   g            ",
    "   g            ",
    "   g            ",
    "   g  g         ",
    "   g  g         ",
    "   gg g  g      ",
    "   gg g  g      ",
    "  gdg gg g  g   ",
    "  gddgdg gg g   ",
    " gddddddgdg g   ",
    "gddddddddddgdg  ",
    "ddddddddddddddgg",
    "                ",
};

// Shown while the noise reference is on: the same outline, struck through.
static const char* const kButtonNoiseStruckXpm[] = {
    "16 16 5 1",
    "  c None",
    "# c #F0F0F0",
    "g c #7CFC3C",
    "d c #3C8C28",
    "r c #FF4A3D",
    "                ",
    " rr             ",
    "  rr            ",
    "   rr           ",
    "   grr          ",
    "   g rr         ",
    "   g  rr        ",
    "   g  grr       ",
    "   gg g rr      ",
    "   gg g  rr     ",
    "  gdg gg grrg   ",
    "  gddgdg ggrr   ",
    " gddddddgdg rr  ",
    "gddddddddddgdrr ",
    "ddddddddddddddrr",
    "                ",
};

static const char* const kButtonAutoRangeXpm[] = {
    "16 16 5 1",
    "  c None",
    "# c #F0F0F0",
    "g c #7CFC3C",
    "d c #3C8C28",
    "r c #FF4A3D",
    "                ",
    "   # ###        ",
    "   # #  #       ",
    " ### #  #       ",
    "#  # ###        ",
    "#  # #  #  rrr  ",
    "#  # #  # rr rr ",
    " ### ###  rr rr ",
    "         rr   rr",
    "         rr   rr",
    "         rrrrrrr",
    "         rr   rr",
    "         rr   rr",
    "         rr   rr",
    "                ",
    "                ",
};

// ---- BEGIN STRIPS: written by scripts/make-button-strips.py ----
// Bitmap 128, spectrogram bar, noise reference off: Pause, DbLabels, Noise, AutoRange.
static const char* const kButtonStrip128Xpm[] = {
    "64 16 5 1",
    "  c None",
    "# c #F0F0F0",
    "g c #7CFC3C",
    "r c #FF4A3D",
    "d c #3C8C28",
    "                                                                ",
    "                                                   # ###        ",
    "                                                   # #  #       ",
    "    ###  ###         ##  #####     g             ### #  #       ",
    "    ###  ###         ##  ##  ##    g            #  # ###        ",
    "    ###  ###         ##  ##  ##    g            #  # #  #  rrr  ",
    "    ###  ###      #####  ##  ##    g  g         #  # #  # rr rr ",
    "    ###  ###     ##  ##  #####     g  g          ### ###  rr rr ",
    "    ###  ###     ##  ##  ##  ##    gg g  g               rr   rr",
    "    ###  ###     ##  ##  ##  ##    gg g  g               rr   rr",
    "    ###  ###     ##  ##  ##  ##   gdg gg g  g            rrrrrrr",
    "    ###  ###     ##  ##  ##  ##   gddgdg gg g            rr   rr",
    "    ###  ###      #####  #####   gddddddgdg g            rr   rr",
    "                                gddddddddddgdg           rr   rr",
    "                                ddddddddddddddgg                ",
    "                                                                ",
};

// Bitmap 126, spectrogram bar, noise reference on: Pause, DbLabels, NoiseStruck, AutoRange.
static const char* const kButtonStrip126Xpm[] = {
    "64 16 5 1",
    "  c None",
    "r c #FF4A3D",
    "# c #F0F0F0",
    "g c #7CFC3C",
    "d c #3C8C28",
    "                                                                ",
    "                                 rr                # ###        ",
    "                                  rr               # #  #       ",
    "    ###  ###         ##  #####     rr            ### #  #       ",
    "    ###  ###         ##  ##  ##    grr          #  # ###        ",
    "    ###  ###         ##  ##  ##    g rr         #  # #  #  rrr  ",
    "    ###  ###      #####  ##  ##    g  rr        #  # #  # rr rr ",
    "    ###  ###     ##  ##  #####     g  grr        ### ###  rr rr ",
    "    ###  ###     ##  ##  ##  ##    gg g rr               rr   rr",
    "    ###  ###     ##  ##  ##  ##    gg g  rr              rr   rr",
    "    ###  ###     ##  ##  ##  ##   gdg gg grrg            rrrrrrr",
    "    ###  ###     ##  ##  ##  ##   gddgdg ggrr            rr   rr",
    "    ###  ###      #####  #####   gddddddgdg rr           rr   rr",
    "                                gddddddddddgdrr          rr   rr",
    "                                ddddddddddddddrr                ",
    "                                                                ",
};

// Bitmap 127, spectrum bar, noise reference off: Pause, DbGrid, FreqGrid, DbLabels, Noise, AutoRange.
static const char* const kButtonStrip127Xpm[] = {
    "96 16 5 1",
    "  c None",
    "# c #F0F0F0",
    "g c #7CFC3C",
    "r c #FF4A3D",
    "d c #3C8C28",
    "                                                                                                ",
    "                                                                                   # ###        ",
    "                                   #   #   #                                       # #  #       ",
    "    ###  ###      ############     #   #   #         ##  #####     g             ### #  #       ",
    "    ###  ###                       #   #   #         ##  ##  ##    g            #  # ###        ",
    "    ###  ###                       #   #   #         ##  ##  ##    g            #  # #  #  rrr  ",
    "    ###  ###                       #   #   #      #####  ##  ##    g  g         #  # #  # rr rr ",
    "    ###  ###      ############     #   #   #     ##  ##  #####     g  g          ### ###  rr rr ",
    "    ###  ###                       #   #   #     ##  ##  ##  ##    gg g  g               rr   rr",
    "    ###  ###                       #   #   #     ##  ##  ##  ##    gg g  g               rr   rr",
    "    ###  ###                       #   #   #     ##  ##  ##  ##   gdg gg g  g            rrrrrrr",
    "    ###  ###      ############     #   #   #     ##  ##  ##  ##   gddgdg gg g            rr   rr",
    "    ###  ###                       #   #   #      #####  #####   gddddddgdg g            rr   rr",
    "                                   #   #   #                    gddddddddddgdg           rr   rr",
    "                                                                ddddddddddddddgg                ",
    "                                                                                                ",
};

// Bitmap 125, spectrum bar, noise reference on: Pause, DbGrid, FreqGrid, DbLabels, NoiseStruck, AutoRange.
static const char* const kButtonStrip125Xpm[] = {
    "96 16 5 1",
    "  c None",
    "r c #FF4A3D",
    "# c #F0F0F0",
    "g c #7CFC3C",
    "d c #3C8C28",
    "                                                                                                ",
    "                                                                 rr                # ###        ",
    "                                   #   #   #                      rr               # #  #       ",
    "    ###  ###      ############     #   #   #         ##  #####     rr            ### #  #       ",
    "    ###  ###                       #   #   #         ##  ##  ##    grr          #  # ###        ",
    "    ###  ###                       #   #   #         ##  ##  ##    g rr         #  # #  #  rrr  ",
    "    ###  ###                       #   #   #      #####  ##  ##    g  rr        #  # #  # rr rr ",
    "    ###  ###      ############     #   #   #     ##  ##  #####     g  grr        ### ###  rr rr ",
    "    ###  ###                       #   #   #     ##  ##  ##  ##    gg g rr               rr   rr",
    "    ###  ###                       #   #   #     ##  ##  ##  ##    gg g  rr              rr   rr",
    "    ###  ###                       #   #   #     ##  ##  ##  ##   gdg gg grrg            rrrrrrr",
    "    ###  ###      ############     #   #   #     ##  ##  ##  ##   gddgdg ggrr            rr   rr",
    "    ###  ###                       #   #   #      #####  #####   gddddddgdg rr           rr   rr",
    "                                   #   #   #                    gddddddddddgdrr          rr   rr",
    "                                                                ddddddddddddddrr                ",
    "                                                                                                ",
};

// ---- END STRIPS ----

// clang-format on

// The tool bar's bitmap strip for a bitmap id: 128 spectrogram bar, 126 the same with the
// noise reference on, 127 spectrum bar, 125 the same with the noise reference on. XPM data
// for QImage; null for an unknown id.
const char* const* ButtonStripXpm(int bitmapId);

// The number of 16 x 16 images in that strip: 4 for the spectrogram bar, 6 for the
// spectrum bar, 0 for an unknown id.
int ButtonStripImages(int bitmapId);
