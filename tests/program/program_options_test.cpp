// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line: what a user types, and the one line a mistake gets.
#include "program/program_options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace {

ProgramOptions Parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "quillo-sa");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    return ParseProgramOptions(static_cast<int>(argv.size()), argv.data());
}

TEST(ProgramOptionsTest, EveryOptionTakesItsValueSeparateOrJoined) {
    const ProgramOptions options =
        Parse({"--input", "song.flac", "--device=USB Mic", "--headless", "--snapshot", "a.png",
               "--command", "40060@12", "--command=1206@0", "--oem-text", "PocketPC J6",
               "--pitch-log", "-", "--list-devices", "--pitch=accurate", "--spectrum-out=s.csv"});
    EXPECT_EQ(options.error, "");
    EXPECT_EQ(options.input, "song.flac");
    EXPECT_EQ(options.device, "USB Mic");
    EXPECT_TRUE(options.headless);
    EXPECT_TRUE(options.listDevices);
    EXPECT_EQ(options.snapshot, "a.png");
    EXPECT_EQ(options.oemText, "PocketPC J6");
    EXPECT_EQ(options.pitchLog, "-");
    EXPECT_EQ(options.pitch, "accurate");
    EXPECT_EQ(options.spectrumOut, "s.csv");
    ASSERT_EQ(options.commands.size(), 2u);
    EXPECT_EQ(options.commands[0].id, 40060);
    EXPECT_EQ(options.commands[0].blocks, 12);
    EXPECT_EQ(options.commands[1].id, 1206);
    EXPECT_EQ(options.commands[1].blocks, 0);
    EXPECT_FALSE(options.help);
    EXPECT_FALSE(options.version);
}

TEST(ProgramOptionsTest, TheFullViewTakesItsSnapshotSize) {
    const ProgramOptions options = Parse({"--headless", "--view=full", "--size", "1920x1080"});
    ASSERT_EQ(options.error, "");
    EXPECT_EQ(options.view, "full");
    ASSERT_TRUE(options.size);
    EXPECT_EQ(options.size->first, 1920);
    EXPECT_EQ(options.size->second, 1080);
    EXPECT_EQ(Parse({"--view", "handheld"}).error, "");
    EXPECT_EQ(Parse({"--view", "full"}).error, "");  // in a window too
}

TEST(ProgramOptionsTest, TheReferencePitchIsTakenInTenthsOfAHertzWithinItsRange) {
    const struct {
        std::vector<std::string> arguments;
        float hz;
    } cases[] = {
        {{"--a4", "445"}, 445.0f}, {{"--a4=432.5"}, 432.5f},           {{"--a4", "400.0"}, 400.0f},
        {{"--a4", "480"}, 480.0f}, {{"--a4=441", "--a4=442"}, 442.0f},
    };
    for (const auto& c : cases) {
        const ProgramOptions options = Parse(c.arguments);
        ASSERT_EQ(options.error, "") << c.arguments.back();
        ASSERT_TRUE(options.a4) << c.arguments.back();
        EXPECT_EQ(*options.a4, c.hz) << c.arguments.back();
    }
    EXPECT_FALSE(Parse({"--headless"}).a4);
}

TEST(ProgramOptionsTest, NothingGivenMeansTheMicrophoneInAWindow) {
    const ProgramOptions options = Parse({});
    EXPECT_EQ(options.error, "");
    EXPECT_FALSE(options.headless);
    EXPECT_FALSE(options.input.has_value());
    EXPECT_FALSE(options.device.has_value());
    EXPECT_FALSE(options.oemText.has_value());
    EXPECT_TRUE(options.commands.empty());
}

TEST(ProgramOptionsTest,
     ALaterValueReplacesAnEarlierOneAndEmptyTextsAreKeptWhereTheyMeanSomething) {
    const ProgramOptions options =
        Parse({"--pitch", "classic", "--pitch", "accurate", "--oem-text", "", "--device="});
    EXPECT_EQ(options.error, "");
    EXPECT_EQ(options.pitch, "accurate");
    EXPECT_EQ(options.oemText, "");
    EXPECT_EQ(options.device, "");
}

TEST(ProgramOptionsTest, MistakesAreOneLineNamingWhatIsWrong) {
    struct Case {
        std::vector<std::string> arguments;
        std::string mentions;
    };
    const Case cases[] = {
        {{"--bogus"}, "'--bogus'"},
        {{"-x"}, "'-x'"},
        {{"a.wav", "b.wav"}, "'b.wav'"},
        {{"--input", "a.wav", "b.wav"}, "'b.wav'"},
        {{"--input", "a.wav", "--input", "b.wav"}, "one input at a time"},
        {{"a.wav", "--input=b.wav"}, "one input at a time"},
        {{""}, "empty"},
        {{"--command", "1234@3"}, "1234 is not a command"},
        {{"--command", "0@3"}, "0 is not a command"},
        {{"--input"}, "--input"},
        {{"--input="}, "--input"},
        {{"--snapshot", ""}, "--snapshot"},
        {{"--headless=yes"}, "--headless"},
        {{"--command", "40060"}, "'40060'"},
        {{"--command", "@5"}, "'@5'"},
        {{"--command", "40060@"}, "'40060@'"},
        {{"--command", "-1@5"}, "'-1@5'"},
        {{"--command", "1@-5"}, "'1@-5'"},
        {{"--command", "+1@5"}, "'+1@5'"},
        {{"--command", "1@5x"}, "'1@5x'"},
        {{"--command", "1 @5"}, "'1 @5'"},
        {{"--command", "65536@1"}, "'65536@1'"},
        {{"--command", "1@99999999999999999999"}, "'1@99999999999999999999'"},
        {{"--headless", "--command"}, "--command"},
        {{"--pitch", "yin"}, "'yin'"},
        {{"--pitch", "Accurate"}, "'Accurate'"},
        {{"--pitch="}, "--pitch"},
        {{"--headless", "--view", "wide"}, "'wide'"},
        {{"--headless", "--size", "1920"}, "'1920'"},
        {{"--headless", "--size", "100x100"}, "'100x100'"},
        {{"--headless", "--size", "9000x1080"}, "'9000x1080'"},
        {{"--headless", "--size", "1920x-1"}, "'1920x-1'"},
        {{"--a4", "399.9"}, "'399.9': expected a pitch in Hz from 400.0 to 480.0"},
        {{"--a4", "480.1"}, "'480.1'"},
        {{"--a4", "445.25"}, "steps of 0.1"},
        {{"--a4", "A4"}, "'A4'"},
        {{"--a4", "-440"}, "'-440'"},
        {{"--a4="}, "--a4"},
        {{"--headless", "--a4"}, "--a4"},
    };
    for (const Case& c : cases) {
        const ProgramOptions options = Parse(c.arguments);
        SCOPED_TRACE(c.arguments.back());
        EXPECT_EQ(options.error.rfind("quillo-sa: ", 0), 0u) << options.error;
        EXPECT_NE(options.error.find(c.mentions), std::string::npos) << options.error;
        EXPECT_EQ(options.error.find('\n'), std::string::npos);
    }
}

TEST(ProgramOptionsTest, TheLargestBlockCountAndEveryCommandOfTheWindowAreAccepted) {
    const ProgramOptions options = Parse({"--command", "40070@9223372036854775807"});
    EXPECT_EQ(options.error, "");
    ASSERT_EQ(options.commands.size(), 1u);
    EXPECT_EQ(options.commands[0].id, 40070);
    EXPECT_EQ(options.commands[0].blocks, 9223372036854775807LL);
    for (const char* command :
         {"1@1", "40025@1", "40003@1", "40008@1", "40009@1", "40060@1", "40019@1", "1202@1",
          "1203@1", "1205@1", "1206@1", "1207@1", "1208@1", "40070@1"}) {
        EXPECT_EQ(Parse({"--command", command}).error, "") << command;
    }
}

TEST(ProgramOptionsTest, AFileNameAlonePlaysItAndShortOptionsAreHelpAndVersion) {
    EXPECT_EQ(Parse({"song.flac"}).input, "song.flac");
    EXPECT_EQ(Parse({"--headless", "song.flac", "--stats"}).input, "song.flac");
    EXPECT_EQ(Parse({"-"}).input, "-");  // standard input
    // After "--" a name that looks like an option is a file.
    const ProgramOptions dashed = Parse({"--headless", "--", "-take 1.wav"});
    EXPECT_EQ(dashed.error, "");
    EXPECT_EQ(dashed.input, "-take 1.wav");
    EXPECT_TRUE(Parse({"-h"}).help);
    EXPECT_TRUE(Parse({"-V"}).version);
    EXPECT_NE(Parse({"-v"}).error, "");
}

// Outputs that would overwrite the input or each other, by name, through a link or "..".
TEST(ProgramOptionsTest, OutputsThatAreTheInputOrEachOtherAreFound) {
    const ScratchFolder scratch("quillo-options-test");
    ASSERT_TRUE(scratch.Made());
    const std::string& folder = scratch.Path();
    const std::string wav = folder + "/v.wav";
    std::fclose(std::fopen(wav.c_str(), "w"));
    ASSERT_EQ(link(wav.c_str(), (folder + "/hard.wav").c_str()), 0);
    ASSERT_EQ(symlink("v.wav", (folder + "/soft.wav").c_str()), 0);
    ASSERT_EQ(mkdir((folder + "/sub").c_str(), 0700), 0);
    struct Case {
        std::vector<std::string> arguments;
        std::string mentions;  // empty: no clash
    };
    const Case cases[] = {
        {{wav, "--pitch-log", wav}, "--pitch-log"},
        {{wav, "--snapshot", folder + "/hard.wav"}, "--snapshot"},
        {{wav, "--pitch-log", folder + "/soft.wav"}, "--pitch-log"},
        {{wav, "--snapshot", folder + "/sub/../v.wav"}, "--snapshot"},
        {{wav, "--pitch-log", folder + "/new.csv", "--snapshot", folder + "/new.csv"},
         "--snapshot"},
        {{wav, "--pitch-log", folder + "/log.csv", "--snapshot", folder + "/v.png"}, ""},
        {{"-", "--pitch-log", "-"}, ""},
        {{wav, "--spectrum-out", folder + "/soft.wav"}, "--spectrum-out"},
        {{wav, "--pitch-log", folder + "/a.csv", "--spectrum-out", folder + "/a.csv"},
         "--spectrum-out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        const ProgramOptions options = Parse(c.arguments);
        ASSERT_EQ(options.error, "");
        const std::string error = SameFileError(options);
        if (c.mentions.empty()) {
            EXPECT_EQ(error, "");
            continue;
        }
        EXPECT_EQ(error.rfind("quillo-sa: " + c.mentions, 0), 0u) << error;
        EXPECT_NE(error.find("same file"), std::string::npos) << error;
    }
}

TEST(ProgramOptionsTest, UsageNamesEveryOption) {
    const std::string usage = ProgramUsage();
    for (const char* option : {"--input", "--device", "--list-devices", "--headless", "--snapshot",
                               "--command", "--oem-text", "--pitch-log", "--spectrum-out", "--a4",
                               "--help", "--version", "-h", "-V", "FILE", "40025"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

}  // namespace
