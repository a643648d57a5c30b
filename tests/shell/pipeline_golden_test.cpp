// SPDX-License-Identifier: GPL-3.0-or-later
// The whole block pipeline, pinned bit for bit: a generated signal (a tone with harmonics,
// noise and a glide) goes block by block through ProcessBlock in several configurations,
// with a noise reference measured and subtracted and an automatic range run, and after
// every block the in-memory display's frame buffer and the two power spectra are hashed.
// The expected hashes were recorded from the straightforward implementation, so any
// speed-up that moves a single pixel or a single spectrum bit fails here.
//
// To record the sequence again (only after an intended change of output), run the shell
// tests with QUILLO_GOLDEN_OUT=file and replace pipeline_golden.inc with that file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "platform/headless/display_memory.h"
#include "shell/pipeline.h"
#include "shell/settings.h"
#include "tests/shell/shell_test_support.h"
#include "views/view_frame.h"
#include "views/view_state.h"

namespace {

constexpr int kBlock = 1024;
constexpr int kBlocksPerRun = 96;
constexpr double kPi = 3.141592653589793;

struct GoldenRun {
    const char* name;
    uint64_t screen[kBlocksPerRun];
    uint64_t spectra[kBlocksPerRun];
};

#include "tests/shell/pipeline_golden.inc"

uint64_t Fnv1a(uint64_t h, const void* data, size_t bytes) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < bytes; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ULL;
    }
    return h;
}
constexpr uint64_t kFnvBasis = 0xcbf29ce484222325ULL;

// Tone with two harmonics, a glide sweeping 150 Hz .. 3 kHz and back, and white noise from a
// fixed integer generator (no library distribution, so the samples never change). Loud
// enough in places to reach the waveform strip's clamp.
class TestSignal {
  public:
    void Next(int16_t* block) {
        for (int i = 0; i < kBlock; ++i, ++t_) {
            const double t = static_cast<double>(t_) / 22050.0;
            const double tone = 2.0 * kPi * 330.0 * t;
            const double sweep = 150.0 + 2850.0 * std::fabs(std::sin(0.35 * t));
            glidePhase_ += 2.0 * kPi * sweep / 22050.0;
            state_ ^= state_ << 13;
            state_ ^= state_ >> 7;
            state_ ^= state_ << 17;
            const double noise = static_cast<double>(static_cast<int64_t>(state_ % 4001) - 2000);
            const double v = 9000.0 * std::sin(tone) + 3500.0 * std::sin(2 * tone) +
                             1200.0 * std::sin(3 * tone) + 6000.0 * std::sin(glidePhase_) +
                             noise * (t < 1.5 ? 0.2 : 1.0);
            block[i] =
                static_cast<int16_t>(std::lround(std::fmax(-32768.0, std::fmin(32767.0, v))));
        }
    }

  private:
    long t_ = 0;
    double glidePhase_ = 0.0;
    uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

struct Scenario {
    const char* name;
    const char* settings;  // settings file text; empty: the defaults
    bool deviceProfile;
    int view;
};

// Noise reference from block 6 (valid about 26 blocks later, then subtracted), an automatic
// range from block 50 (applied about 24 blocks later), a view reset and a skipped block.
void RunScenario(const Scenario& s, uint64_t* screen, uint64_t* spectra) {
    if (s.settings[0] == '\0') {
        UseSettingsPath("");
    } else {
        const std::string path = NewSettingsPath();
        WriteTextFile(path, s.settings);
        UseSettingsPath(path);
    }
    StartCore(s.deviceProfile);
    const AnalyzerSettingsRecord& a = AnalyzerSettings;
    ViewMode = s.view;
    if (s.view == kSpectrumView) {
        EnterSpectrumView(a.captureRate, a.fftSize, EffectiveRateSetting(), a.logScale);
    }
    TestSignal signal;
    int16_t block[kBlock];
    for (int b = 0; b < kBlocksPerRun; ++b) {
        if (b == 6) {
            SetNoiseReferenceEnabled(true);
            ShowCalibrating(ViewMode, true);
        }
        if (b == 50) StartAutoRange();
        if (b == 80) RequestViewReset(true);
        signal.Next(block);
        ProcessBlock(block, kBlock, b == 85);
        screen[b] = Fnv1a(kFnvBasis, MemoryDisplay.pixels, sizeof MemoryDisplay.pixels);
        uint64_t h = Fnv1a(kFnvBasis, PowerSpectrumEarly, sizeof PowerSpectrumEarly);
        spectra[b] = Fnv1a(h, PowerSpectrumLate, sizeof PowerSpectrumLate);
    }
}

const Scenario kScenarios[] = {
    {"spectrogram, defaults", "", false, kSpectrogramView},
    {"spectrum, defaults", "", false, kSpectrumView},
    {"spectrum, log scale, 11025 Hz, long averaging, calibrate", "1 90 10 0 2 1 0 1", false,
     kSpectrumView},
    {"spectrogram, log scale, wide, long averaging", "1 70 30 2 2 0 1 0", false, kSpectrogramView},
    {"spectrum, device profile, medium", "0 80 20 1 1 2 1 2", true, kSpectrumView},
};
constexpr int kScenarioCount = sizeof kScenarios / sizeof kScenarios[0];

void WriteGolden(const char* path) {
    std::FILE* out = std::fopen(path, "w");
    ASSERT_NE(out, nullptr) << path;
    std::fprintf(out, "// Recorded by pipeline_golden_test.cpp (QUILLO_GOLDEN_OUT).\n");
    std::fprintf(out, "const GoldenRun kGolden[] = {\n");
    for (const Scenario& s : kScenarios) {
        uint64_t screen[kBlocksPerRun], spectra[kBlocksPerRun];
        RunScenario(s, screen, spectra);
        std::fprintf(out, "    {\"%s\",\n     {", s.name);
        for (int b = 0; b < kBlocksPerRun; ++b)
            std::fprintf(out, "0x%016llxULL,%s", (unsigned long long)screen[b],
                         b % 3 == 2 ? "\n      " : " ");
        std::fprintf(out, "},\n     {");
        for (int b = 0; b < kBlocksPerRun; ++b)
            std::fprintf(out, "0x%016llxULL,%s", (unsigned long long)spectra[b],
                         b % 3 == 2 ? "\n      " : " ");
        std::fprintf(out, "}},\n");
    }
    std::fprintf(out, "};\n");
    std::fclose(out);
}

TEST(PipelineGolden, EveryBlockDrawsAndAnalysesAsRecorded) {
    if (const char* out = std::getenv("QUILLO_GOLDEN_OUT")) {
        WriteGolden(out);
        GTEST_SKIP() << "recorded to " << out;
    }
    ASSERT_EQ(sizeof kGolden / sizeof kGolden[0], static_cast<size_t>(kScenarioCount));
    for (int i = 0; i < kScenarioCount; ++i) {
        const Scenario& s = kScenarios[i];
        SCOPED_TRACE(s.name);
        ASSERT_EQ(std::string(kGolden[i].name), s.name);
        uint64_t screen[kBlocksPerRun], spectra[kBlocksPerRun];
        RunScenario(s, screen, spectra);
        // The first block that differs is the one to look at: later ones follow from it.
        for (int b = 0; b < kBlocksPerRun; ++b) {
            ASSERT_EQ(spectra[b], kGolden[i].spectra[b]) << "spectra after block " << b;
            ASSERT_EQ(screen[b], kGolden[i].screen[b]) << "frame buffer after block " << b;
        }
    }
}

// The hashes must see what they pin: the run reaches a valid reference and a finished
// range, and the screen and the spectra change from block to block.
TEST(PipelineGolden, RunsExerciseTheMeasurementsAndMoveThePicture) {
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        uint64_t screen[kBlocksPerRun], spectra[kBlocksPerRun];
        RunScenario(s, screen, spectra);
        EXPECT_TRUE(NoiseReference.valid);
        EXPECT_FALSE(AutoRange.active);
        int screenChanges = 0, spectraChanges = 0;
        for (int b = 1; b < kBlocksPerRun; ++b) {
            screenChanges += screen[b] != screen[b - 1];
            spectraChanges += spectra[b] != spectra[b - 1];
        }
        EXPECT_GT(screenChanges, kBlocksPerRun * 3 / 4);
        EXPECT_GT(spectraChanges, kBlocksPerRun / 3);
    }
}

}  // namespace
