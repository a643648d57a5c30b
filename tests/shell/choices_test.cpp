// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own choices file: key = value lines read and written back with what this
// build does not know, broken lines told and skipped, the older one-choice files read in
// once, and nothing but a regular file ever opened.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "shell/choices.h"
#include "tests/shell/shell_test_support.h"

namespace {

class ChoicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = UseSettingsFolder();
        ResetChoices();
    }
    void TearDown() override {
        ResetChoices();
        LeaveSettingsFolder(folder);
    }
    std::string File(const char* name) const { return folder + "/" + name; }
    // The names in the folder, in order.
    std::string Listing() const {
        std::string names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names += entry.path().filename().string() + " ";
        return names;
    }
    std::string folder;
};

TEST_F(ChoicesTest, KnownKeysAreReadAndUnknownOnesAreWrittenBackInOneStep) {
    ASSERT_EQ(std::string(ChoicesFilePath()), File("choices.txt"));
    WriteTextFile(File("choices.txt"),
                  "  zoom=4 \n\nmicrophone = Built-in Audio [alsa_input.pci] (monitor)\r\n"
                  "pitch_estimator =accurate\ncolour_map = warm = hot\n");
    EXPECT_STREQ(GetChoice(kChoicePitchEstimator), "accurate");
    EXPECT_STREQ(GetChoice(kChoiceMicrophone), "Built-in Audio [alsa_input.pci] (monitor)");

    ASSERT_TRUE(SetChoice(kChoiceMicrophone, "Other [other]"));
    ASSERT_TRUE(SaveChoices());
    EXPECT_EQ(ReadTextFile(File("choices.txt")),
              "pitch_estimator = accurate\nmicrophone = Other [other]\nzoom = 4\n"
              "colour_map = warm = hot\n");
    EXPECT_EQ(Listing(), "choices.txt ");  // nothing left beside it

    // Read back as written; a value that would break the file is refused.
    ResetChoices();
    EXPECT_STREQ(GetChoice(kChoiceMicrophone), "Other [other]");
    EXPECT_FALSE(SetChoice(kChoiceMicrophone, "two\nlines"));
    EXPECT_FALSE(SetChoice(kChoiceMicrophone, std::string(kChoiceValueSize, 'x').c_str()));
    EXPECT_FALSE(SetChoice(kChoiceMicrophone, nullptr));
    EXPECT_STREQ(GetChoice(kChoiceMicrophone), "Other [other]");
}

TEST_F(ChoicesTest, ABrokenLineIsSkippedWithOneLineOnStderrAndTheRestIsRead) {
    WriteTextFile(File("choices.txt"), "no equals sign\n= value\npitch_estimator = accurate\n" +
                                           std::string(2000, 'z') + " = long\n" +
                                           "bad key = 1\nmicrophone = Mic [mic]");
    testing::internal::CaptureStderr();
    EXPECT_STREQ(GetChoice(kChoicePitchEstimator), "accurate");
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(GetChoice(kChoiceMicrophone), "Mic [mic]");
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 4) << told;
    for (const char* line : {"line 1 ", "line 2 ", "line 4 ", "line 5 "})
        EXPECT_NE(told.find(std::string("choices.txt ") + line), std::string::npos) << told;
    // Broken lines are not kept.
    ASSERT_TRUE(SaveChoices());
    EXPECT_EQ(ReadTextFile(File("choices.txt")),
              "pitch_estimator = accurate\nmicrophone = Mic [mic]\n");
}

TEST_F(ChoicesTest, TheOlderFilesAreReadOnlyWhileThereIsNoChoicesFileAndNeverWritten) {
    WriteTextFile(File("pitch.txt"), "accurate\n");
    WriteTextFile(File("input.txt"), "Built-in Audio [alsa_input.pci]\n");
    EXPECT_STREQ(GetChoice(kChoicePitchEstimator), "accurate");
    EXPECT_STREQ(GetChoice(kChoiceMicrophone), "Built-in Audio [alsa_input.pci]");
    ASSERT_TRUE(SetChoice(kChoicePitchEstimator, "classic"));
    ASSERT_TRUE(SaveChoices());
    EXPECT_EQ(ReadTextFile(File("choices.txt")),
              "pitch_estimator = classic\nmicrophone = Built-in Audio [alsa_input.pci]\n");
    EXPECT_EQ(ReadTextFile(File("pitch.txt")), "accurate\n");
    EXPECT_EQ(ReadTextFile(File("input.txt")), "Built-in Audio [alsa_input.pci]\n");

    // From now on choices.txt alone counts.
    WriteTextFile(File("input.txt"), "Other [other]\n");
    ResetChoices();
    EXPECT_STREQ(GetChoice(kChoicePitchEstimator), "classic");
    EXPECT_STREQ(GetChoice(kChoiceMicrophone), "Built-in Audio [alsa_input.pci]");
}

// A FIFO would block the read in open() for ever, and with it start-up.
TEST_F(ChoicesTest, AFifoInTheirPlaceIsNeverOpened) {
    ASSERT_EQ(mkfifo(File("input.txt").c_str(), 0600), 0);
    WriteTextFile(File("pitch.txt"), "accurate\n");
    EXPECT_STREQ(GetChoice(kChoiceMicrophone), "");
    EXPECT_STREQ(GetChoice(kChoicePitchEstimator), "accurate");

    ResetChoices();
    ASSERT_EQ(mkfifo(File("choices.txt").c_str(), 0600), 0);
    EXPECT_STREQ(GetChoice(kChoicePitchEstimator), "");  // not missing: the older files wait
    // Nor written: saving fails and leaves it, as saving the settings does.
    ASSERT_TRUE(SetChoice(kChoiceMicrophone, "Mic [mic]"));
    EXPECT_FALSE(SaveChoices());
    struct stat info {};
    ASSERT_EQ(stat(File("choices.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(ChoicesTest, WithoutASettingsPathNothingIsReadOrWritten) {
    UseSettingsPath("");
    EXPECT_EQ(ChoicesFilePath(), nullptr);
    EXPECT_STREQ(GetChoice(kChoicePitchEstimator), "");
    EXPECT_TRUE(SetChoice(kChoicePitchEstimator, "accurate"));
    EXPECT_TRUE(SaveChoices());
    EXPECT_EQ(Listing(), "");
}

}  // namespace
