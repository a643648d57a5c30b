// SPDX-License-Identifier: GPL-3.0-or-later
// The real program end to end: headless runs on generated and shipped recordings, checked
// on the snapshot's pixels, the pitch log, the settings file, the exit code and what it
// says on stderr.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QSize>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/level_rows.h"
#include "tests/support/program_files.h"
#include "tests/support/scratch_folder.h"

namespace {

constexpr int kRunTimeoutMs = 120000;
const std::vector<Partial> kToneWithHarmonics = {{1, 8000.0}, {2, 3000.0}};

// The runs' folders, for the whole test process.
const std::string& TempFolder() {
    static const ScratchFolder folder("quillo-program-test");
    return folder.Path();
}

std::string NewFolder() {
    static int serial = 0;
    const std::string path = TempFolder() + "/run" + std::to_string(++serial);
    EXPECT_EQ(mkdir(path.c_str(), 0700), 0);
    return path;
}

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// How a run differs from the usual one.
struct RunOptions {
    std::vector<EnvironmentOverride> environment;  // replaces the usual variable, or adds one
    std::string out;                               // standard output's file; empty: home's
    bool closedStdout = false;                     // started with standard output closed
    int timeoutMs = kRunTimeoutMs;
};

RunOptions WithEnvironment(std::vector<EnvironmentOverride> environment) {
    RunOptions how;
    how.environment = std::move(environment);
    return how;
}
RunOptions WithStdout(const std::string& path) {
    RunOptions how;
    how.out = path;
    return how;
}
RunOptions WithStdoutClosed() {
    RunOptions how;
    how.closedStdout = true;
    return how;
}
RunOptions WithTimeout(int ms) {
    RunOptions how;
    how.timeoutMs = ms;
    return how;
}

// Runs the program with `args`, its settings under `home`/config, its state and runtime files
// under `home`; gives up (and fails) after the timeout.
ProgramRun RunProgram(const std::vector<std::string>& args, const std::string& home,
                      pid_t* started = nullptr, const RunOptions& how = {}) {
    const std::string outPath = how.out.empty() ? home + "/stdout.txt" : how.out;
    const std::string errPath = home + "/stderr.txt";
    std::vector<std::string> argv = {QUILLO_PROGRAM};
    if (how.closedStdout) argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" >&-", QUILLO_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<EnvironmentOverride> environment = {{"XDG_CONFIG_HOME", home + "/config"},
                                                    {"TMPDIR", home},
                                                    {"HOME", home},
                                                    {"XDG_STATE_HOME", ""},
                                                    {"QT_QPA_PLATFORM", "offscreen"},
                                                    {"XDG_RUNTIME_DIR", home},
                                                    {"DISPLAY", ""}};
    for (const EnvironmentOverride& replaced : how.environment) {
        const auto usual = std::find_if(environment.begin(), environment.end(),
                                        [&](const auto& e) { return e.first == replaced.first; });
        if (usual != environment.end()) {
            usual->second = replaced.second;
        } else {
            environment.push_back(replaced);
        }
    }
    const pid_t pid = StartProcess(argv, environment, outPath, errPath);
    ProgramRun run;
    if (pid == 0) {
        ADD_FAILURE() << "cannot start " << QUILLO_PROGRAM;
        return run;
    }
    if (started != nullptr) {
        *started = pid;
        return run;
    }
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(how.timeoutMs);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the program did not end";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (how.out.empty()) run.out = ReadFile(outPath);  // a device such as /dev/full never ends
    run.err = ReadFile(errPath);
    return run;
}

// Where the diagnostic file of a run under `home` goes.
std::string DiagnosticFile(const std::string& home) {
    return home + "/.local/state/Quillo-SA/fp_win.txt";
}

// Waits until `ready` holds, at most a minute.
template <typename Condition>
bool WaitFor(Condition ready) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

int Lines(const std::string& text) {
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

// The snapshot's pixel as RGB565, as the screen held it.
uint16_t Pixel(const QImage& image, int x, int y) {
    const QRgb c = image.pixel(x, y);
    return static_cast<uint16_t>((qRed(c) >> 3) << 11 | (qGreen(c) >> 2) << 5 | qBlue(c) >> 3);
}

int CountPixels(const QImage& image, int x0, int y0, int x1, int y1, uint16_t colour) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x)
            n += Pixel(image, x, y) == colour;
    }
    return n;
}

int CountNonBlack(const QImage& image, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x)
            n += Pixel(image, x, y) != 0;
    }
    return n;
}

// Pixels neither black nor white: the colour legend's, not the labels'.
int CountColoured(const QImage& image, int x0, int y0, int x1, int y1) {
    return CountNonBlack(image, x0, y0, x1, y1) - CountPixels(image, x0, y0, x1, y1, 0xFFFF);
}

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override { home = NewFolder(); }
    std::string home;
};

TEST_F(ProgramTest, HeadlessRunOnTheDemoDrawsTheSpectrogramAndEnds) {
    const std::string png = home + "/shot.png";
    const ProgramRun run =
        RunProgram({"--headless", "--input", QUILLO_DEMO_FILE, "--snapshot", png}, home);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QImage image(QString::fromStdString(png));
    ASSERT_EQ(image.width(), 240);
    ASSERT_EQ(image.height(), 268);
    // Readout band: the blue frame at its corners.
    EXPECT_EQ(Pixel(image, 0, 71), 0x001F);
    EXPECT_EQ(Pixel(image, 239, 84), 0x001F);
    // The waveform time axis and the spectrogram's frequency axis are drawn in white.
    EXPECT_GT(CountPixels(image, 0, 59, 239, 62, 0xFFFF), 100);
    EXPECT_GT(CountPixels(image, 202, 86, 206, 255, 0xFFFF), 20);
    // The spectrogram: many coloured pixels; the colour legend along the bottom.
    EXPECT_GT(CountNonBlack(image, 0, 86, 201, 255), 5000);
    EXPECT_GT(CountColoured(image, 0, 256, 239, 267), 1000);
    // The diagnostic file of start-up; the settings file is not written without Exit.
    EXPECT_EQ(ReadFile(DiagnosticFile(home)), "0 26 240 268\n");
    EXPECT_EQ(ReadFile(home + "/config/Quillo-SA/setting.txt"), "");
}

TEST_F(ProgramTest, ScriptedCommandsSwitchToTheSpectrumAndExitSaves) {
    const std::string png = home + "/spectrum.png";
    std::string wav = home + "/tone.wav";
    WriteToneWav(wav, 440.0, 4.0, kToneWithHarmonics, 200.0);
    const ProgramRun run = RunProgram({"--headless", "--input", wav, "--snapshot", png, "--command",
                                       "40060@10", "--command", "40025@60"},
                                      home);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(home + "/config/Quillo-SA/setting.txt"), "0 80 20 0 1 2 1 2");
    const QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());
    // The spectrum traces (green, peak hold cyan) and no spectrogram legend.
    const int traces =
        CountPixels(image, 0, 85, 206, 255, 0x87E0) + CountPixels(image, 0, 85, 206, 255, 0x07FF);
    EXPECT_GT(traces, 100);
    EXPECT_LT(CountColoured(image, 0, 256, 239, 267), 20);  // labels, not the legend
}

TEST_F(ProgramTest, APartialSettingsFileLoadsAndExitSavesItWhole) {
    ASSERT_EQ(mkdir((home + "/config").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((home + "/config/Quillo-SA").c_str(), 0700), 0);
    const std::string settings = home + "/config/Quillo-SA/setting.txt";
    WriteFile(settings, "1 90 30 2");
    const std::string wav = home + "/tone.wav";
    WriteToneWav(wav, 330.0, 2.0, kToneWithHarmonics, 200.0);
    const ProgramRun run = RunProgram({"--headless", "--input", wav, "--command", "40025@5"}, home);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(settings), "1 90 30 2 1 2 1 2");
}

TEST_F(ProgramTest, PitchLogOfA440HzToneReadsA) {
    const std::string wav = home + "/a440.wav";
    WriteToneWav(wav, 440.0, 3.0, kToneWithHarmonics, 200.0);
    const ProgramRun run =
        RunProgram({"--headless", "--input", wav, "--pitch-log", "-", "--stats"}, home);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::istringstream log(run.out);
    std::string line;
    std::getline(log, line);
    EXPECT_EQ(line, "time_s,frequency_hz,note,cents,lock");
    int rows = 0, locked = 0;
    double lastTime = 0.0;
    while (std::getline(log, line)) {
        ++rows;
        char note[8] = {}, lock[16] = {};
        double time = 0.0, hz = 0.0;
        if (line.find(",,,") != std::string::npos) continue;  // no pitch yet
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%7[^,],%*d,%15s", &time, &hz, note, lock), 4)
            << line;
        lastTime = time;
        if (std::strcmp(lock, "locked") != 0) continue;
        ++locked;
        EXPECT_STREQ(note, "A") << line;
        EXPECT_NEAR(hz, 440.0, 1.0) << line;
    }
    // Every block but the first is a row: 3 s are 64 blocks and a part of one.
    EXPECT_EQ(rows, 64);
    EXPECT_GT(locked, 50);
    EXPECT_NEAR(lastTime, 65 * 1024 / 22050.0, 0.001);
    // One thread: every block of the file is processed, none dropped.
    EXPECT_NE(run.err.find("65 blocks processed, 0 dropped by catch-up, 0 capture queue "
                           "overflows"),
              std::string::npos)
        << run.err;
}

TEST_F(ProgramTest, TheFullViewAtFortyEightKilohertzShowsAFifteenKilohertzToneAndLogsThePitch) {
    const std::string wav = home + "/wide.wav";
    WriteToneWav(wav, 1000.0, 2.0, {{1, 8000.0}, {15, 4000.0}}, 50.0, 48000);
    const std::string png = home + "/full.png";
    const ProgramRun run =
        RunProgram({"--headless", "--view", "full", "--size", "1000x600", "--input", wav,
                    "--snapshot", png, "--pitch-log", "-", "--command", "40060@10"},
                   home);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QImage image(QString::fromStdString(png));
    ASSERT_EQ(image.width(), 1000);
    ASSERT_EQ(image.height(), 600);
    // The spectrum's line (its own yellow) reaches the upper half of the picture near the
    // right end of the log axis (15 kHz of 20 Hz .. 24 kHz is at 93 %), and near 1 kHz.
    const auto traceAbove = [&](int x0, int x1) {
        int count = 0;
        for (int x = x0; x <= x1; x++)
            for (int y = 100; y < 300; y++)
                count += image.pixel(x, y) == 0xFFFFD23Cu;
        return count;
    };
    EXPECT_GT(traceAbove(880, 960), 0);
    EXPECT_GT(traceAbove(500, 620), 0);
    EXPECT_EQ(traceAbove(700, 850), 0);
    // The pitch of the 48000 Hz capture, locked on 1000 Hz.
    std::istringstream log(run.out);
    std::string line;
    int locked = 0;
    while (std::getline(log, line)) {
        double time = 0.0, hz = 0.0;
        char note[8] = {}, lock[16] = {};
        if (std::sscanf(line.c_str(), "%lf,%lf,%7[^,],%*d,%15s", &time, &hz, note, lock) != 4)
            continue;
        if (std::strcmp(lock, "locked") != 0) continue;
        ++locked;
        EXPECT_NEAR(hz, 1000.0, 2.0) << line;
    }
    EXPECT_GT(locked, 50);  // 2 s are 93 blocks of 1024 samples
}

// Pink noise from white through Paul Kellet's filter (within 0.05 dB of -3 dB an octave from
// 10 Hz to 10 kHz at 44.1 kHz), white from a fixed sequence.
std::vector<int16_t> PinkNoise(int rate, double seconds) {
    std::vector<int16_t> samples(size_t(rate * seconds));
    uint32_t state = 2024;
    double b[7] = {};
    for (int16_t& sample : samples) {
        state = state * 1664525u + 1013904223u;
        const double white = double(state >> 8) / double(1u << 24) * 2.0 - 1.0;
        b[0] = 0.99886 * b[0] + white * 0.0555179;
        b[1] = 0.99332 * b[1] + white * 0.0750759;
        b[2] = 0.96900 * b[2] + white * 0.1538520;
        b[3] = 0.86650 * b[3] + white * 0.3104856;
        b[4] = 0.55000 * b[4] + white * 0.5329522;
        b[5] = -0.7616 * b[5] - white * 0.0168980;
        const double pink = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + white * 0.5362;
        b[6] = white * 0.115926;
        sample = int16_t(std::lround(pink * 0.1 * 32767.0));
    }
    return samples;
}

// The mean power, in dB, of the rows within an octave centred on `hz`.
double OctaveDb(const std::vector<SpectrumRow>& rows, double hz) {
    double sum = 0.0;
    int count = 0;
    for (const SpectrumRow& row : rows) {
        if (row.hz < hz / std::sqrt(2.0) || row.hz >= hz * std::sqrt(2.0)) continue;
        sum += std::pow(10.0, row.db / 10.0);
        count++;
    }
    return count > 0 ? 10.0 * std::log10(sum / count) : -999.0;
}

// --spectrum-out in either picture: the full view's FFT size at the run's rate, every row
// two numbers, and pink noise falling 3 dB an octave from 125 Hz to 4 kHz (the handheld
// picture's capture, converted to 22050 Hz, ends below 11 kHz).
TEST_F(ProgramTest, TheAverageSpectrumOfPinkNoiseFallsThreeDecibelsAnOctave) {
    const std::string wav = home + "/pink.wav";
    WriteWav(wav, PinkNoise(44100, 8.0), 44100);
    struct Case {
        const char* view;
        double rate;  // the capture's: the file's own in the full view, else converted
    };
    for (const Case c : {Case{"full", 44100.0}, Case{"handheld", 22050.0}}) {
        SCOPED_TRACE(c.view);
        const std::string csv = home + "/" + c.view + ".csv";
        const ProgramRun run =
            RunProgram({"--headless", "--view", c.view, wav, "--spectrum-out", csv}, home);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        std::vector<SpectrumRow> rows;
        std::string why;
        ASSERT_TRUE(ReadSpectrumRows(ReadFile(csv), &rows, &why)) << why;
        ASSERT_EQ(rows.size(), 8192u / 2 + 1);
        EXPECT_EQ(rows[1].hz, c.rate / 8192);
        EXPECT_EQ(rows.back().hz, c.rate / 2);
        for (double hz = 125.0; hz <= 2000.0; hz *= 2.0) {
            const double fall = OctaveDb(rows, hz) - OctaveDb(rows, 2.0 * hz);
            EXPECT_NEAR(fall, 3.01, 0.5) << hz << " Hz to " << 2.0 * hz << " Hz";
        }
        EXPECT_NEAR((OctaveDb(rows, 125.0) - OctaveDb(rows, 4000.0)) / 5.0, 3.01, 0.15);
    }
}

// A 44100 Hz file plays at its own rate in the full view: its 20 kHz tone is drawn where a
// band ending at 22050 Hz puts it. A headless run without --view draws the handheld picture
// whatever picture the window last showed.
TEST_F(ProgramTest, TheFullViewPlaysAFileAtItsOwnRateAndHeadlessRunsIgnoreTheKeptPicture) {
    ASSERT_EQ(mkdir((home + "/config").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((home + "/config/Quillo-SA").c_str(), 0700), 0);
    std::ofstream(home + "/config/Quillo-SA/choices.txt")
        << "picture_mode = full\nfull_axis = linear\n";
    const std::string wav = home + "/high.wav";
    WriteToneWav(wav, 20000.0, 1.0, {{1, 8000.0}}, 200.0, 44100);
    const std::string png = home + "/picture.png";
    const ProgramRun handheld = RunProgram({"--headless", "--input", wav, "--snapshot", png}, home);
    ASSERT_EQ(handheld.exitCode, 0) << handheld.err;
    EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(240, 268));

    const ProgramRun full = RunProgram({"--headless", "--view", "full", "--size", "1000x600",
                                        "--input", wav, "--snapshot", png, "--command", "40060@10"},
                                       home);
    ASSERT_EQ(full.exitCode, 0) << full.err;
    const QImage image(QString::fromStdString(png));
    ASSERT_EQ(image.size(), QSize(1000, 600));
    // The trace (the noise floor over every column of the plot) gives the plot's ends; its
    // highest point is the tone.
    int left = image.width(), right = -1, peakX = -1, peakY = image.height();
    for (int x = 0; x < image.width(); x++) {
        for (int y = 100; y < image.height(); y++) {
            if (image.pixel(x, y) != 0xFFFFD23Cu) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            if (y < peakY) peakX = x, peakY = y;
        }
    }
    ASSERT_GT(right - left, 800);
    EXPECT_NEAR(peakX, left + (right + 1 - left) * 20000.0 / 22050.0, 2.0);
}

// A reader of the log through a pipe (tail -f, a tuner's front end) has each row as it is
// made: the first rows arrive while the input, a pipe too, has given only its first second.
TEST_F(ProgramTest, PitchLogRowsReachAPipeWhileTheInputGoesOn) {
    const std::string wav = home + "/a440.wav";
    WriteToneWav(wav, 440.0, 4.0, kToneWithHarmonics, 200.0);
    const std::string sound = ReadFile(wav);
    const std::string input = home + "/input.fifo", log = home + "/log.fifo";
    ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
    // The input's writing end and the log's reading end, opened so that neither these opens
    // nor the program's block; the log's end reads nothing until the program writes.
    signal(SIGPIPE, SIG_IGN);
    const int toProgram = open(input.c_str(), O_RDWR | O_CLOEXEC);
    const int fromProgram = open(log.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(toProgram, 0);
    ASSERT_GE(fromProgram, 0);
    pid_t pid = 0;
    RunProgram({"--headless", "--input", input, "--pitch-log", log}, home, &pid);
    ASSERT_GT(pid, 0);
    const size_t firstSecond = 44 + 22050 * 2;  // the header and a second of samples
    ASSERT_EQ(write(toProgram, sound.data(), firstSecond), ssize_t(firstSecond));
    std::string rows;
    const bool arrived = WaitFor([&] {
        char bytes[4096];
        for (ssize_t n; (n = read(fromProgram, bytes, sizeof bytes)) > 0;)
            rows.append(bytes, size_t(n));
        return Lines(rows) >= 2;
    });
    EXPECT_TRUE(arrived) << rows;
    EXPECT_EQ(rows.rfind("time_s,frequency_hz,note,cents,lock\n", 0), 0u) << rows;
    // The rest of the input, then its end; the log's reader takes what follows.
    std::thread reader([&] {
        fcntl(fromProgram, F_SETFL, 0);
        char bytes[4096];
        for (ssize_t n; (n = read(fromProgram, bytes, sizeof bytes)) > 0;)
            rows.append(bytes, size_t(n));
    });
    const size_t rest = sound.size() - firstSecond;
    EXPECT_EQ(write(toProgram, sound.data() + firstSecond, rest), ssize_t(rest));
    close(toProgram);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(home + "/stderr.txt");
    reader.join();  // the program's end of the log closed with it
    close(fromProgram);
    EXPECT_EQ(Lines(rows), 1 + 86) << rows;  // 4 s are 86 blocks and a part of one
}

// The locked rows of a pitch log on standard output: their notes, and the largest distance
// of their frequencies from `hz`.
struct LockedRows {
    int count = 0;
    std::string notes;  // each locked row's note, in order, separated by spaces
    double worstHz = 0.0;
};
LockedRows ReadLockedRows(const std::string& out, double hz) {
    LockedRows rows;
    std::istringstream log(out);
    std::string line;
    std::getline(log, line);
    while (std::getline(log, line)) {
        char note[8] = {}, lock[16] = {};
        double time = 0.0, frequency = 0.0;
        if (std::sscanf(line.c_str(), "%lf,%lf,%7[^,],%*d,%15s", &time, &frequency, note, lock) !=
                4 ||
            std::strcmp(lock, "locked") != 0) {
            continue;
        }
        ++rows.count;
        rows.notes += std::string(note) + " ";
        rows.worstHz = std::max(rows.worstHz, std::abs(frequency - hz));
    }
    return rows;
}

// A 220 Hz sawtooth: the default readout (no choice stored) reads A, within a fraction of a
// hertz; --pitch classic locks a little flat of it, on G#, and a choice stored by Exit is kept.
TEST_F(ProgramTest, TheDefaultReadoutReadsASawtoothAsAThatTheClassicEstimatorReadsFlat) {
    const std::string wav = home + "/saw220.wav";
    std::vector<Partial> saw;
    for (int n = 1; n <= 40 && 220.0 * n < 11000.0; ++n)
        saw.push_back({n, 9000.0 / n});
    WriteToneWav(wav, 220.0, 3.0, saw, 0.0);
    const ProgramRun classic =
        RunProgram({"--headless", "--input", wav, "--pitch-log", "-", "--pitch", "classic"}, home);
    ASSERT_EQ(classic.exitCode, 0) << classic.err;
    const ProgramRun accurate =
        RunProgram({"--headless", "--input", wav, "--pitch-log", "-"}, home);
    ASSERT_EQ(accurate.exitCode, 0) << accurate.err;
    // Unchecking Accurate Pitch (40070) and Exit store the classic choice for the next run.
    const ProgramRun unchecked = RunProgram(
        {"--headless", "--input", wav, "--command", "40070@1", "--command", "40025@2"}, home);
    ASSERT_EQ(unchecked.exitCode, 0) << unchecked.err;
    EXPECT_EQ(ReadFile(home + "/config/Quillo-SA/choices.txt"), "pitch_estimator = classic\n");
    const ProgramRun stored = RunProgram({"--headless", "--input", wav, "--pitch-log", "-"}, home);
    EXPECT_EQ(stored.out, classic.out);

    const LockedRows classicRows = ReadLockedRows(classic.out, 220.0);
    ASSERT_GT(classicRows.count, 0);
    EXPECT_NE(classicRows.notes.find("G#"), std::string::npos) << classicRows.notes;
    const LockedRows accurateRows = ReadLockedRows(accurate.out, 220.0);
    EXPECT_GT(accurateRows.count, 55);
    EXPECT_EQ(accurateRows.notes.find("G#"), std::string::npos) << accurateRows.notes;
    EXPECT_LT(accurateRows.worstHz, 0.5);
    // The same number of rows: the choice changes readings, not when they are written.
    EXPECT_EQ(std::count(classic.out.begin(), classic.out.end(), '\n'),
              std::count(accurate.out.begin(), accurate.out.end(), '\n'));
}

// The distinct "note,cents" of a pitch log's locked rows, in the order first seen.
std::string LockedReadings(const std::string& out) {
    std::string readings;
    std::istringstream log(out);
    std::string line;
    while (std::getline(log, line)) {
        const size_t lock = line.rfind(",locked");
        if (lock == std::string::npos || lock + 7 != line.size()) continue;
        const size_t note = line.find(',', line.find(',') + 1) + 1;
        const std::string reading = line.substr(note, lock - note);
        if (readings.find(" " + reading + " ") == std::string::npos)
            readings += " " + reading + " ";
    }
    return readings;
}

// A 445 Hz tone is A +0 against A4 = 445 and A +20 against 440, in the handheld picture and
// the full view; --a4 outranks the kept pitch for its run and is not kept by Exit.
TEST_F(ProgramTest, TheReferencePitchNamesTheNotesOfBothPicturesAndIsKeptOnlyWhenChosen) {
    const std::string wav = home + "/a445.wav";
    WriteToneWav(wav, 445.0, 2.0, kToneWithHarmonics, 50.0);
    const std::string wide = home + "/a445-48k.wav";
    WriteToneWav(wide, 445.0, 2.0, kToneWithHarmonics, 50.0, 48000);
    const auto readings = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--headless", "--pitch-log", "-"});
        const ProgramRun run = RunProgram(args, home);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return LockedReadings(run.out);
    };
    EXPECT_EQ(readings({wav}), " A,+20 ");
    EXPECT_EQ(readings({wav, "--a4", "445"}), " A,+0 ");
    EXPECT_EQ(readings({wide, "--view", "full"}), " A,+20 ");
    EXPECT_EQ(readings({wide, "--view", "full", "--a4=445.0"}), " A,+0 ");

    const std::string choices = home + "/config/Quillo-SA/choices.txt";  // its folder made above
    WriteFile(choices, "reference_pitch = 445.0\n");
    EXPECT_EQ(readings({wav}), " A,+0 ");
    EXPECT_EQ(readings({wav, "--a4", "440", "--command", "40025@10"}), " A,+20 ");
    EXPECT_NE(ReadFile(choices).find("reference_pitch = 445.0\n"), std::string::npos)
        << ReadFile(choices);
    WriteFile(choices, "reference_pitch = 4450\n");  // not one View Options could set
    EXPECT_EQ(readings({wav}), " A,+20 ");
}

// A user whose language writes decimals with a comma gets the same log and picture: the CSV
// keeps its columns. The locale is one made here with only a comma for the decimal point.
TEST_F(ProgramTest, ALanguageWithADecimalCommaChangesNeitherTheLogNorThePicture) {
    WriteFile(home + "/comma.src",
              "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \"\"\ngrouping -1\nEND LC_NUMERIC\n");
    const std::string make = "localedef -c -i '" + home + "/comma.src' -f ANSI_X3.4-1968 '" + home +
                             "/comma' >/dev/null 2>&1";
    if (std::system(make.c_str()) == -1 || ReadFile(home + "/comma/LC_NUMERIC").empty())
        GTEST_SKIP() << "localedef cannot make a locale here";
    const std::string wav = home + "/a440.wav";
    WriteToneWav(wav, 440.0, 1.0, kToneWithHarmonics, 50.0);
    std::string logs[2], pictures[2];
    for (int comma = 0; comma < 2; comma++) {
        const std::string png = home + "/shot" + std::to_string(comma) + ".png";
        const ProgramRun run =
            RunProgram({"--headless", wav, "--pitch-log", "-", "--snapshot", png}, home, nullptr,
                       WithEnvironment({{"LOCPATH", comma ? home : ""},
                                        {"LC_NUMERIC", comma ? "comma" : ""},
                                        {"LC_ALL", ""},
                                        {"LANG", ""}}));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        logs[comma] = run.out;
        pictures[comma] = ReadFile(png);
    }
    EXPECT_NE(logs[0].find(",A,+0,locked\n"), std::string::npos) << logs[0];
    EXPECT_EQ(logs[1], logs[0]);
    EXPECT_EQ(pictures[1], pictures[0]);
}

TEST_F(ProgramTest, WithoutAMicrophoneTheProgramSaysSoWithTheReasonAndFails) {
    const ProgramRun run =
        RunProgram({"--headless", "--device", "no such microphone anywhere"}, home);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Lines(run.err), 2) << run.err;
    EXPECT_EQ(run.err.find("Sound input failed!"), run.err.find(": ") + 2) << run.err;
    EXPECT_NE(run.err.find("\nquillo-sa: no input device is named \"no such microphone anywhere\""),
              std::string::npos)
        << run.err;
}

TEST_F(ProgramTest, BadOptionsAndUnreadableFilesExitWithOneLine) {
    const std::string notAudio = home + "/notes.txt";
    WriteFile(notAudio, "these are not samples\n");
    const std::vector<std::vector<std::string>> cases = {
        {"--no-such-option"},
        {"--input"},
        {"--command", "40060"},
        {"--command", "x@3"},
        {"--command", "1234@3"},
        {"--command", "40060@-1"},
        {"--headless", "--input", home + "/missing.wav"},
        {"--headless", "--input", notAudio},
        {"--headless", "stray-argument"},
        {"--headless", "--a4", "500"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
        const ProgramRun run = RunProgram(args, home);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(Lines(run.err), 1) << run.err;
        EXPECT_EQ(run.err.rfind("quillo-sa: ", 0), 0u) << run.err;
    }
    const ProgramRun help = RunProgram({"--help"}, home);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--pitch-log"), std::string::npos);
    const ProgramRun version = RunProgram({"--version"}, home);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("quillo-sa ", 0), 0u);
    EXPECT_EQ(RunProgram({"-V"}, home).out, version.out);
    EXPECT_EQ(RunProgram({"-h"}, home).out, help.out);
}

// `quillo-sa song.flac` plays the file as --input does.
TEST_F(ProgramTest, AFileNameAloneIsPlayed) {
    const ProgramRun run = RunProgram({"--headless", QUILLO_DEMO_FILE, "--stats"}, home);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    long long blocks = 0;
    ASSERT_EQ(std::sscanf(run.err.c_str(), "quillo-sa: %lld blocks processed", &blocks), 1)
        << run.err;
    EXPECT_GT(blocks, 100);
}

// Every way a run can fail to do what was asked ends with 1 and one line saying what failed;
// nothing that was not asked for is written.
TEST_F(ProgramTest, FailedOutputsAndCommandsThatNeverRanExitWithOne) {
    const std::string wav = home + "/tone.wav";
    WriteToneWav(wav, 440.0, 1.0, kToneWithHarmonics, 200.0);
    const std::string shortWav = home + "/short.wav";  // less than the full view's one frame
    WriteToneWav(shortWav, 440.0, 0.1, kToneWithHarmonics, 200.0, 48000);
    struct Case {
        std::vector<std::string> arguments;
        RunOptions how;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"--headless", wav, "--pitch-log", "/dev/full"}, {}, "the pitch log /dev/full"},
        {{"--headless", wav, "--snapshot", "/dev/full"}, {}, "snapshot was not written"},
        {{"--headless", wav, "--snapshot", home + "/missing/x.png"}, {}, "missing/x.png"},
        {{"--headless", wav, "--spectrum-out", home + "/missing/x.csv"},
         {},
         "the spectrum was not written: " + home + "/missing/x.csv: No such file or directory"},
        {{"--headless", "--view", "full", shortWav, "--spectrum-out", home + "/short.csv"},
         {},
         "short.csv: the run ended before one frame of 8192 samples"},
        {{"--headless", wav, "--command", "40025@99999"}, {}, "40025@99999 never ran"},
        {{"--headless", wav, "--pitch-log", "-"}, WithStdout("/dev/full"), "on standard output"},
        {{"--headless", wav, "--pitch-log", "-"}, WithStdoutClosed(), "on standard output"},
        {{"--help"}, WithStdout("/dev/full"), "standard output"},
        {{"--version"}, WithStdoutClosed(), "standard output"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.back() + (c.how.closedStdout ? " >&-" : " > " + c.how.out));
        const ProgramRun run = RunProgram(c.arguments, home, nullptr, c.how);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(Lines(run.err), 1) << run.err;
        EXPECT_EQ(run.err.rfind("quillo-sa: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
    EXPECT_EQ(ReadFile(home + "/config/Quillo-SA/setting.txt"), "");  // Exit never ran
}

// The files a run writes for itself are the user's alone, and no output may destroy the input.
TEST_F(ProgramTest, TheDiagnosticFileIsNeverWrittenThroughALinkAndOutputsNeverOverwriteInput) {
    const std::string state = home + "/.local/state/Quillo-SA";
    ASSERT_EQ(std::system(("mkdir -p '" + state + "'").c_str()), 0);
    const std::string victim = home + "/victim.txt";
    WriteFile(victim, "keep me");
    ASSERT_EQ(symlink(victim.c_str(), DiagnosticFile(home).c_str()), 0);
    const std::string wav = home + "/v.wav";
    WriteToneWav(wav, 440.0, 1.0, kToneWithHarmonics, 200.0);
    const ProgramRun run = RunProgram({"--headless", wav}, home);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(victim), "keep me");
    EXPECT_EQ(ReadFile(DiagnosticFile(home)), "0 26 240 268\n");
    EXPECT_EQ(ReadFile(home + "/fp_win.txt"), "");  // nothing in the shared temporary folder
    // A state folder the program makes is its user's alone.
    const ProgramRun fresh = RunProgram({"--headless", wav}, home, nullptr,
                                        WithEnvironment({{"XDG_STATE_HOME", home + "/st"}}));
    ASSERT_EQ(fresh.exitCode, 0) << fresh.err;
    struct stat folder {};
    ASSERT_EQ(stat((home + "/st/Quillo-SA").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EXPECT_EQ(ReadFile(home + "/st/Quillo-SA/fp_win.txt"), "0 26 240 268\n");

    const std::string recording = ReadFile(wav);
    ASSERT_EQ(link(wav.c_str(), (home + "/same.wav").c_str()), 0);
    const std::vector<std::vector<std::string>> clashes = {
        {"--headless", "--input", wav, "--pitch-log", wav},
        {"--headless", wav, "--snapshot", home + "/same.wav"},
        {"--headless", wav, "--pitch-log", home + "/out", "--snapshot", home + "/out"},
    };
    for (const auto& args : clashes) {
        SCOPED_TRACE(args.back());
        const ProgramRun clash = RunProgram(args, home);
        EXPECT_EQ(clash.exitCode, 2);
        EXPECT_EQ(Lines(clash.err), 1) << clash.err;
        EXPECT_NE(clash.err.find("is the same file as"), std::string::npos) << clash.err;
    }
    EXPECT_EQ(ReadFile(wav), recording);
    EXPECT_FALSE(std::ifstream(home + "/out").good());  // nothing was written
}

// A FIFO where the settings file belongs would block start-up in open() for ever.
TEST_F(ProgramTest, ASettingsFileThatIsNoRegularFileIsNotReadAndTheRunGoesOn) {
    ASSERT_EQ(std::system(("mkdir -p '" + home + "/config/Quillo-SA'").c_str()), 0);
    const std::string settings = home + "/config/Quillo-SA/setting.txt";
    ASSERT_EQ(mkfifo(settings.c_str(), 0600), 0);
    const std::string wav = home + "/tone.wav";
    WriteToneWav(wav, 440.0, 1.0, kToneWithHarmonics, 200.0);
    const ProgramRun run = RunProgram({"--headless", wav}, home, nullptr, WithTimeout(30000));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.err), 1) << run.err;
    EXPECT_NE(run.err.find(settings + " is not a regular file"), std::string::npos) << run.err;
}

// The same for the program's own choices and for the older file of the chosen input, which
// a start on the microphone reads before anything else.
TEST_F(ProgramTest, AChoicesOrInputFileThatIsNoRegularFileDoesNotHoldUpStartUp) {
    const std::string folder = home + "/config/Quillo-SA/";
    ASSERT_EQ(std::system(("mkdir -p '" + folder + "'").c_str()), 0);
    for (const char* name : {"input.txt", "choices.txt"}) {
        SCOPED_TRACE(name);
        const std::string fifo = folder + name;
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        // Ends at once whether or not this machine has a microphone to open.
        const ProgramRun run =
            RunProgram({"--headless", "--command", "1@0"}, home, nullptr, WithTimeout(30000));
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << run.err;
        const bool told = run.err.find(fifo + " is not a regular file") != std::string::npos;
        EXPECT_EQ(told, std::string(name) == "choices.txt") << run.err;
        std::remove(fifo.c_str());
    }
}

// The command lands after exactly its block, however the threads happen to run: quitting at
// block 200 leaves 200 processed, every time.
TEST_F(ProgramTest, AScriptedCommandRunsAfterExactlyItsBlock) {
    const std::string wav = home + "/tone.wav";
    WriteToneWav(wav, 440.0, 10.0, kToneWithHarmonics, 200.0);
    for (int attempt = 0; attempt < 8; attempt++) {
        SCOPED_TRACE(attempt);
        const ProgramRun run = RunProgram(
            {"--headless", wav, "--command", "1@200", "--stats", "--pitch-log", "-"}, home);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.err.find("quillo-sa: 200 blocks processed"), std::string::npos) << run.err;
        // A row for each block but the first, which only fills the ring; and the header.
        EXPECT_EQ(Lines(run.out), 1 + 199);
    }
}

// SIGINT, SIGTERM and SIGHUP end the run as Ctrl+Q does, with whole outputs, and say which.
TEST_F(ProgramTest, ASignalFinishesTheOutputsAndExitsWith128PlusItsNumber) {
    const std::string wav = home + "/long.wav";
    WriteToneWav(wav, 440.0, 60.0, kToneWithHarmonics, 200.0);
    for (const int signal : {SIGHUP, SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        std::remove(DiagnosticFile(home).c_str());
        const std::string log = home + "/log" + std::to_string(signal) + ".csv";
        const std::string png = home + "/shot" + std::to_string(signal) + ".png";
        pid_t pid = 0;
        RunProgram({wav, "--pitch-log", log, "--snapshot", png}, home, &pid);
        ASSERT_GT(pid, 0);
        // Playing, with rows still in the log's buffer.
        ASSERT_TRUE(WaitFor([&] { return !ReadFile(DiagnosticFile(home)).empty(); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal";
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        const std::string rows = ReadFile(log);
        EXPECT_GT(Lines(rows), 1);  // flushed at the signal
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.back(), '\n');
        EXPECT_FALSE(QImage(QString::fromStdString(png)).isNull());
    }
}

TEST_F(ProgramTest, DamageFoundWhilePlayingIsReportedAndFailsTheRun) {
    std::string bytes = ReadFile(QUILLO_DEMO_FILE);
    ASSERT_GT(bytes.size(), 10000u);
    for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 300; i++)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5a);
    const std::string damaged = home + "/damaged.flac";
    WriteFile(damaged, bytes);
    const std::string png = home + "/damaged.png";
    const ProgramRun run = RunProgram({"--headless", "--input", damaged, "--snapshot", png}, home);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(Lines(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("damaged or truncated after"), std::string::npos) << run.err;
    EXPECT_FALSE(QImage(QString::fromStdString(png)).isNull());  // what played is shown
}

TEST_F(ProgramTest, HeadlessOptionsDialogIsRefusedAndTheRunGoesOn) {
    const std::string wav = home + "/tone.wav";
    WriteToneWav(wav, 440.0, 2.0, kToneWithHarmonics, 200.0);
    const ProgramRun run = RunProgram(
        {"--headless", "--input", wav, "--command", "40008@5", "--command", "40025@20"}, home);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("Setting"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(home + "/config/Quillo-SA/setting.txt"), "0 80 20 0 1 2 1 2");
}

// The rows of a pitch log locked on `note`.
int LockedRowsOn(const std::string& log, const std::string& note) {
    std::istringstream rows(log);
    int count = 0;
    for (std::string line; std::getline(rows, line);)
        count += line.find("," + note + ",") != std::string::npos &&
                 line.find(",locked") != std::string::npos;
    return count;
}

// A window started on a file that cannot be read stays open with nothing playing, and says
// why; a later start hands its file to it, which plays it (its pitch log goes on with the new
// note), says so in one line and exits with 0.
TEST_F(ProgramTest, AWindowOnABrokenFileStaysAndASecondStartHandsItsFileOver) {
    const std::string broken = home + "/broken.wav";
    WriteFile(broken, "RIFF....WAVE, and nothing of a wave");
    const std::string wav = home + "/e659.wav";
    WriteToneWav(wav, 659.26, 60.0, kToneWithHarmonics, 200.0);
    const std::string log = home + "/log.csv";
    // A lock file left empty by a crash holds no one.
    const std::string folder = home + "/Quillo-SA";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    WriteFile(folder + "/instance.lock", "");
    pid_t first = 0;
    RunProgram({broken, "--pitch-log", log}, home, &first);
    ASSERT_GT(first, 0);
    // The first instance listens once its window is up: its diagnostic file says so.
    ASSERT_TRUE(WaitFor([&] { return !ReadFile(DiagnosticFile(home)).empty(); }));
    EXPECT_NE(ReadFile(folder + "/instance.lock"), "");
    ASSERT_TRUE(WaitFor(
        [&] { return ReadFile(home + "/stderr.txt").find("broken.wav") != std::string::npos; }));

    // The same user's runtime folder, so the second finds the first.
    const ProgramRun second =
        RunProgram({wav}, NewFolder(), nullptr, WithEnvironment({{"XDG_RUNTIME_DIR", home}}));
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(Lines(second.err), 1) << second.err;
    EXPECT_NE(
        second.err.find("already running; its window was raised and given " + wav + " to play"),
        std::string::npos)
        << second.err;
    EXPECT_TRUE(WaitFor([&] { return LockedRowsOn(ReadFile(log), "E") > 10; }))
        << "the running window does not play the file handed over:\n"
        << ReadFile(log);
    int status = 0;
    EXPECT_EQ(waitpid(first, &status, WNOHANG), 0) << "the first instance runs on";
    kill(first, SIGTERM);
    waitpid(first, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM);
    // The reason, as the box gave it under "Sound input failed!", in a line of its own.
    const std::string err = ReadFile(home + "/stderr.txt");
    const size_t named = err.find("broken.wav");
    ASSERT_NE(named, std::string::npos) << err;
    EXPECT_EQ(err.compare(err.rfind('\n', named) + 1, 11, "quillo-sa: "), 0) << err;
}

// Without a runtime folder the lock goes into a folder of the temporary one that must be the
// user's alone; one that others may enter is not used (and the program says so and runs).
TEST_F(ProgramTest, ASharedLockFolderIsRefused) {
    const std::string wav = home + "/long.wav";
    WriteToneWav(wav, 440.0, 60.0, kToneWithHarmonics, 200.0);
    const std::string folder = home + "/Quillo-SA-" + std::to_string(getuid());
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    pid_t pid = 0;
    RunProgram({wav}, home, &pid, WithEnvironment({{"XDG_RUNTIME_DIR", ""}}));
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitFor([&] { return !ReadFile(DiagnosticFile(home)).empty(); }));
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM);
    EXPECT_NE(ReadFile(home + "/stderr.txt").find(folder + " is not a folder of this user's alone"),
              std::string::npos);
    EXPECT_FALSE(std::ifstream(folder + "/instance.lock").good());
}

}  // namespace
