// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/file_names.h"

#include <gtest/gtest.h>

TEST(PrintableFileName, EscapesWhatWouldBreakALineOrDriveATerminal) {
    EXPECT_EQ(PrintableFileName("take 1.wav"), "take 1.wav");
    EXPECT_EQ(PrintableFileName("a\nb\tc\rd"), "a\\nb\\tc\\rd");
    EXPECT_EQ(PrintableFileName("\x1b[31mred.wav"), "\\e[31mred.wav");
    EXPECT_EQ(PrintableFileName("bell\x07\x7f"), "bell\\x07\\x7f");
    // A backslash is doubled, so an escape in the output always means a control character.
    EXPECT_EQ(PrintableFileName("a\\nb"), "a\\\\nb");
    EXPECT_EQ(PrintableFileName("Klänge/été.flac"), "Klänge/été.flac");
    EXPECT_EQ(PrintableFileName(""), "");
    EXPECT_EQ(PrintableFileName(nullptr), "(no name)");
}
