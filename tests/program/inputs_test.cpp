// SPDX-License-Identifier: GPL-3.0-or-later
// The real program on the inputs users hand it: MP3s from sox, standard input, a FIFO, a
// cut-off Ogg and files it cannot open, checked on the exit code and the one line on stderr.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/program_files.h"
#include "tests/support/scratch_folder.h"

namespace {

constexpr int kRunTimeoutS = 120;

struct Finished {
    int exitCode = -1;
    std::string err;
};

// Runs `args` (a program and its arguments) to its end, its output in files under `home`;
// killed when it takes more than kRunTimeoutS (exit code 137).
Finished RunToEnd(const std::vector<std::string>& args, const std::string& home) {
    std::vector<std::string> limited = {"timeout", "-s", "KILL", std::to_string(kRunTimeoutS)};
    limited.insert(limited.end(), args.begin(), args.end());
    const std::string errPath = home + "/stderr.txt";
    const pid_t pid = StartProcess(limited,
                                   {{"XDG_CONFIG_HOME", home + "/config"},
                                    {"XDG_STATE_HOME", home + "/state"},
                                    {"XDG_RUNTIME_DIR", home},
                                    {"TMPDIR", home},
                                    {"HOME", home},
                                    {"QT_QPA_PLATFORM", "offscreen"},
                                    {"DISPLAY", ""}},
                                   home + "/stdout.txt", errPath);
    Finished run;
    int status = 0;
    if (pid == 0 || waitpid(pid, &status, 0) != pid) {
        ADD_FAILURE() << "cannot run " << args[0];
        return run;
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadFile(errPath);
    return run;
}

// A headless run of the program on `input` (a path, or "-" for standard input).
Finished Play(const std::string& input, const std::string& home) {
    return RunToEnd({QUILLO_PROGRAM, "--headless", "--input", input}, home);
}

// Two seconds of 440 Hz (or `sound`, as sox's synth names it) made by sox in `path`, its
// format from the name; false when sox cannot write it.
bool Sox(const std::string& path, int rate, const std::string& home,
         const std::vector<std::string>& sound = {"2", "sine", "440"}) {
    std::vector<std::string> args = {"sox", "-n", "-r", std::to_string(rate), path, "synth"};
    args.insert(args.end(), sound.begin(), sound.end());
    return RunToEnd(args, home).exitCode == 0;
}

class InputsTest : public ::testing::Test {
  protected:
    void SetUp() override { EXPECT_TRUE(folder.Made()); }
    const ScratchFolder folder{"quillo-inputs-test"};
    const std::string home = folder.Path();
};

// sox (through LAME) writes no Xing frame, so the decoder estimates the length; at 44.1 and
// 22.05 kHz the estimate lies past the end.
TEST_F(InputsTest, Mp3sFromSoxPlayWholeAtEveryRate) {
    for (const int rate : {44100, 22050, 48000, 32000}) {
        SCOPED_TRACE(rate);
        const std::string mp3 = home + "/tone" + std::to_string(rate) + ".mp3";
        ASSERT_TRUE(Sox(mp3, rate, home)) << "sox cannot write MP3 (libsox-fmt-mp3)";
        const Finished run = Play(mp3, home);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err.find("quillo-sa:"), std::string::npos) << run.err;
    }
}

// Standard input redirected from a file is opened once: a second open would read on from
// where the first left it. A FLAC through a FIFO needs its first bytes read twice.
TEST_F(InputsTest, StandardInputFromAFileAndAFlacThroughAFifoPlay) {
    const std::string flac = home + "/tone.flac";
    ASSERT_TRUE(Sox(flac, 44100, home));
    const std::string fifo = home + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        const char* how;
        std::vector<std::string> args;
    } runs[] = {
        {"standard input",
         {"sh", "-c", "exec \"$0\" --headless --input - < \"$1\"", QUILLO_PROGRAM, flac}},
        {"FIFO",
         {"sh", "-c", "cat \"$1\" > \"$2\" & exec \"$0\" --headless --input \"$2\"", QUILLO_PROGRAM,
          flac, fifo}},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.how);
        const Finished run = RunToEnd(r.args, home);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
    }
}

// What a cut-off Ogg holds is played, then the run says it was cut off and ends with 2.
TEST_F(InputsTest, ACutOffOggEndsTheRunWithCode2AndOneLine) {
    const std::string ogg = home + "/tone.ogg";
    ASSERT_TRUE(Sox(ogg, 44100, home, {"6", "whitenoise"}));  // noise: many pages
    const std::string bytes = ReadFile(ogg);
    const std::string cut = home + "/cut.ogg";
    WriteFile(cut, bytes.substr(0, bytes.size() / 2));
    const std::string png = home + "/shot.png";
    const Finished run =
        RunToEnd({QUILLO_PROGRAM, "--headless", "--input", cut, "--snapshot", png}, home);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.rfind("quillo-sa: " + cut + ": truncated after ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(ReadFile(png).empty());  // the run went on to its end
}

// The one line names the file escaped and whole (a path past 512 bytes, with a newline and
// an escape character), and says what the system said when it cannot be opened at all.
TEST_F(InputsTest, ReasonsNameTheFileEscapedAndWholeInOneLine) {
    const std::string odd =
        home + "/" + std::string(240, 'a') + "/" + std::string(240, 'b') + "/new\nline \x1b[0m";
    const std::string shown =
        home + "/" + std::string(240, 'a') + "/" + std::string(240, 'b') + "/new\\nline \\e[0m";
    ASSERT_EQ(mkdir((home + "/" + std::string(240, 'a')).c_str(), 0700), 0);
    ASSERT_EQ(mkdir(odd.substr(0, odd.rfind('/')).c_str(), 0700), 0);
    ASSERT_EQ(mkdir(odd.c_str(), 0700), 0);
    const std::string missing = odd + "/missing.flac";
    Finished run = Play(missing, home);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err,
              "quillo-sa: cannot open " + shown + "/missing.flac: No such file or directory\n");

    const std::string ogg = odd + "/tone.ogg";
    ASSERT_TRUE(Sox(ogg, 44100, home, {"6", "whitenoise"}));
    WriteFile(ogg, ReadFile(ogg).substr(0, ReadFile(ogg).size() / 2));
    run = Play(ogg, home);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.rfind("quillo-sa: " + shown + "/tone.ogg: truncated after ", 0), 0u)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

}  // namespace
