// SPDX-License-Identifier: GPL-3.0-or-later
// The block pipeline driver: which calls analyse and draw, how frames are cut from the ring,
// the two measurements and the readout's lock state, fed with generated blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "analysis/analysis.h"
#include "platform/headless/display_memory.h"
#include "raster/display.h"
#include "raster/surface.h"
#include "shell/pipeline.h"
#include "shell/settings.h"
#include "tests/shell/shell_test_support.h"
#include "views/block_view.h"
#include "views/readout.h"
#include "views/view_frame.h"
#include "views/view_state.h"

namespace {

constexpr int kBlock = 1024;
constexpr double kPi = 3.141592653589793;

// A sine of `cycles` whole periods per 1024-sample block: every block is the same.
struct Block {
    int16_t s[kBlock];
};
Block Tone(double amplitude, int cycles) {
    Block b;
    for (int i = 0; i < kBlock; ++i) {
        b.s[i] =
            static_cast<int16_t>(std::lround(amplitude * std::sin(2 * kPi * cycles * i / kBlock)));
    }
    return b;
}
Block Constant(int16_t value) {
    Block b;
    std::fill(b.s, b.s + kBlock, value);
    return b;
}
// Distinct samples, so that every index mix-up shows.
Block Pattern(int seed) {
    Block b;
    for (int i = 0; i < kBlock; ++i)
        b.s[i] = static_cast<int16_t>((i * 37 + seed * 101) % 2000 - 1000);
    return b;
}

void Feed(const Block& b, bool skipOutput = false) {
    ProcessBlock(b.s, kBlock, skipOutput);
}

float MaxOf(const float* values, int n) {
    return *std::max_element(values, values + n);
}

// The frame the pipeline should have cut: pre-emphasised with k from the ring slice `x`
// (the raw samples from the frame's first taken one on), then windowed as the analysis does.
void ExpectFrame(const float* frame, const int16_t* x, int n, int step, float k) {
    float expected[kFrameCapacity];
    expected[0] = static_cast<float>(x[0]);
    for (int i = 1; i < n; ++i) {
        expected[i] = static_cast<float>(x[i * step]) - static_cast<float>(x[i * step - 1]) * k;
    }
    ApplyAnalysisWindow(n, expected, 32800.0f / AnalyzerSettings.windowAlpha);
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(frame[i], expected[i]) << "sample " << i;
}

class PipelineTest : public ::testing::Test {
  protected:
    void Start(const std::string& settings = "") {
        if (settings.empty()) {
            UseSettingsPath("");
        } else {
            const std::string path = NewSettingsPath();
            WriteTextFile(path, settings);
            UseSettingsPath(path);
        }
        StartCore();
    }
};

TEST_F(PipelineTest, SecondCallIsTheFirstAnalysisAndEveryCallAfterTheFirstDraws) {
    Start();
    std::fill(SampleRing.samples, SampleRing.samples + kRingSamples, int16_t{7});
    const Block silence = Constant(0), tone = Tone(8000, 20);

    Feed(silence);  // call 1: the ring is cleared, then filled; no frame is due
    EXPECT_TRUE(SampleRing.zeroed);
    EXPECT_EQ(SampleRing.writeIndex, 1024);
    EXPECT_EQ(SampleRing.samples[1500], 0);
    EXPECT_FALSE(analysisTurn);
    EXPECT_EQ(samplesSinceFrame, 1024);
    EXPECT_EQ(MemoryDisplay.framesPresented, 0);

    Feed(tone);  // call 2: due and analysed; shows the early spectrum, the silent block
    EXPECT_TRUE(analysisTurn);
    EXPECT_EQ(SampleRing.writeIndex, 0);
    EXPECT_EQ(samplesSinceFrame, 1024);
    EXPECT_EQ(MemoryDisplay.framesPresented, 1);
    const float tonePower = PowerSpectrumLate[20];
    EXPECT_GT(tonePower, 1e-5f);
    EXPECT_LT(MaxOf(PowerSpectrumEarly, 1024), 1e-6f * tonePower);  // zero but for rounding
    EXPECT_LT(MaxOf(ColumnValues, kViewPositions), 1e-6f * tonePower);

    FrameLate[0] = 12345.0f;
    Feed(silence);  // call 3: no analysis; shows the late spectrum of the pair, the tone
    EXPECT_FALSE(analysisTurn);
    EXPECT_EQ(FrameLate[0], 12345.0f);
    EXPECT_EQ(MemoryDisplay.framesPresented, 2);
    EXPECT_EQ(MaxOf(ColumnValues, kViewPositions), tonePower);

    Feed(silence);  // call 4: analyses the two silent blocks
    EXPECT_NE(FrameLate[0], 12345.0f);
    EXPECT_EQ(MaxOf(PowerSpectrumLate, 1024), 0.0f);
    EXPECT_EQ(MemoryDisplay.framesPresented, 3);
}

TEST_F(PipelineTest, SkippedAndSuspendedCallsOnlyRecord) {
    Start();
    const Block a = Pattern(1), b = Pattern(2), c = Pattern(3);
    Feed(a);
    FrameLate[0] = 12345.0f;
    Feed(b, true);  // its analysis turn is lost
    EXPECT_TRUE(analysisTurn);
    EXPECT_EQ(SampleRing.writeIndex, 0);
    EXPECT_EQ(SampleRing.samples[1024 + 5], b.s[5]);
    EXPECT_EQ(MemoryDisplay.framesPresented, 0);
    EXPECT_EQ(FrameLate[0], 12345.0f);

    Feed(c);  // draws the late spectrum of the previous pair again, without analysing
    EXPECT_FALSE(analysisTurn);
    EXPECT_EQ(FrameLate[0], 12345.0f);
    EXPECT_EQ(MemoryDisplay.framesPresented, 1);

    SuspendDrawing();
    Feed(a);
    Feed(b);
    EXPECT_FALSE(analysisTurn);  // two inversions
    EXPECT_EQ(FrameLate[0], 12345.0f);
    EXPECT_EQ(MemoryDisplay.framesPresented, 1);
    EXPECT_EQ(SampleRing.writeIndex, 1024);
    EXPECT_EQ(SampleRing.samples[1024 + 5], a.s[5]);
    EXPECT_EQ(SampleRing.samples[5], b.s[5]);

    ResumeDrawing();
    Feed(c);
    EXPECT_NE(FrameLate[0], 12345.0f);
    EXPECT_EQ(MemoryDisplay.framesPresented, 2);
}

TEST_F(PipelineTest, FramesArePreEmphasisedFromTheRawSampleBeforeEachOneTaken) {
    // "Auditory" filtering (k = 0.97), "22050 Hz": the frames are the last two blocks.
    Start("0 80 20 0 1 2 1 1");
    const Block a = Pattern(1), b = Pattern(2);
    Feed(a);
    Feed(b);
    ExpectFrame(FrameEarly, a.s, 1024, 1, 0.97f);
    ExpectFrame(FrameLate, b.s, 1024, 1, 0.97f);

    // A constant leaves about 3 % of itself, but the first sample keeps its raw value.
    const Block k = Constant(1000);
    Feed(k);
    Feed(k);
    ExpectFrame(FrameLate, k.s, 1024, 1, 0.97f);
    EXPECT_NEAR(FrameLate[512], 1000.0f * 0.03f * 2.5f / 32800.0f, 1e-6f);

    // "11025 Hz" takes every second sample but subtracts the raw sample just before it;
    // both frames then cover the same 2048 samples and the spectra are equal.
    Start("0 80 20 0 1 2 0 2");
    Feed(a);
    Feed(b);
    int16_t ring[2 * kBlock];
    std::copy(a.s, a.s + kBlock, ring);
    std::copy(b.s, b.s + kBlock, ring + kBlock);
    ExpectFrame(FrameLate, ring, 1024, 2, 0.85f);
    EXPECT_EQ(std::memcmp(FrameEarly, FrameLate, sizeof FrameLate), 0);
    const float loudest = MaxOf(PowerSpectrumLate, 1024);
    EXPECT_GT(loudest, 0.0f);
    for (int i = 0; i < 1024; ++i) {
        ASSERT_NEAR(PowerSpectrumEarly[i], PowerSpectrumLate[i], 1e-5f * loudest) << i;
    }

    // An unknown rate setting takes every sample and picks no peak.
    Start("0 80 20 0 1 2 7 0");
    Feed(a);
    Feed(b);
    ExpectFrame(FrameEarly, a.s, 1024, 1, 0.0f);
    ExpectFrame(FrameLate, b.s, 1024, 1, 0.0f);
    EXPECT_EQ(PitchLock.estimateEarly.frequency, 0.0f);
}

TEST_F(PipelineTest, PeakPickingUsesTheDecimatedBinWidthAndClearsBothDcBins) {
    // "11025 Hz": 20 cycles per 1024 captured samples are 40 per 1024 taken ones, so the
    // tone sits on bin 40 of bins half as wide (10.77 Hz).
    Start("0 80 20 0 1 2 0 0");
    const Block tone = Tone(8000, 20);
    Feed(tone);
    Feed(tone);
    EXPECT_NEAR(PitchLock.estimateEarly.frequency, 20 * 22050.0f / 1024.0f, 1.0f);
    EXPECT_GT(PitchLock.estimateLate.frequency, 0.0f);

    // A constant has all its power in bin 0; the peak picker clears it in both spectra, the
    // late one included, which the next call draws. Without peak picking it stays.
    const Block constant = Constant(1000);
    for (const char* settings : {"0 80 20 0 1 2 1 0", "0 80 20 1 1 2 1 0"}) {
        SCOPED_TRACE(settings);
        Start(settings);
        Feed(constant);
        Feed(constant);
        const bool picked = AnalyzerSettings.pitchTrackingOn;
        EXPECT_EQ(PowerSpectrumEarly[0] == 0.0f, picked);
        EXPECT_EQ(PowerSpectrumLate[0] == 0.0f, picked);
    }
}

TEST_F(PipelineTest, EveryDrawnCallFadesTheStripAndTheSpectrumViewAlsoItsPlot) {
    // Each fade adds 40 to the shared fade rhythm, which fires (and drops by 100) at 100.
    Start();
    const Block silence = Constant(0);
    Feed(silence);
    EXPECT_EQ(FadeState.accumulator, 0);  // nothing drawn, nothing faded
    Feed(silence);
    EXPECT_EQ(FadeState.accumulator, 40);  // spectrogram: the waveform strip only

    Start();
    ViewMode = 1;
    EnterSpectrumView(22050, 1024, 1, 0);
    Feed(silence);
    Feed(silence);
    EXPECT_EQ(FadeState.accumulator, 80);  // spectrum: the strip and the plot
}

TEST_F(PipelineTest, DeviceProfileCutsTheNewest512SamplesUndecimated) {
    const std::string path = NewSettingsPath();
    WriteTextFile(path, "0 80 20 0 1 2 0 2");
    UseSettingsPath(path);
    StartCore(true);
    const Block a = Pattern(1), b = Pattern(2);
    Feed(a);
    Feed(b);
    ExpectFrame(FrameLate, b.s + 512, 512, 1, 0.85f);
    ExpectFrame(FrameEarly, b.s, 512, 1, 0.85f);
}

// Blocks of odd lengths leave the write index anywhere, so the frames' reads wrap round the
// ring at every kind of place: inside a frame, between a taken sample and the one before
// it, on either parity when every second sample is taken. Each frame must be what masked
// reads of the ring give.
TEST_F(PipelineTest, FramesCutAcrossTheRingsEndAtAnyPlaceReadTheMaskedSamples) {
    const int lengths[] = {701, 333, 1024, 97, 1500, 2047, 1, 1023, 640};
    for (const char* settings : {"0 80 20 0 1 2 1 1", "0 80 20 0 1 2 0 2"}) {
        SCOPED_TRACE(settings);
        Start(settings);
        const int n = AnalyzerSettings.fftSize;
        const int step = AnalyzerSettings.rateSetting == 0 ? 2 : 1;
        const float k = AnalyzerSettings.preEmphasis;
        int16_t samples[2047];
        int analyses = 0;
        for (int call = 0; call < 80; ++call) {
            const int length = lengths[call % 9];
            for (int i = 0; i < length; ++i)
                samples[i] = static_cast<int16_t>((call * 7919 + i * 104729) % 20001 - 10000);
            FrameLate[0] = -1.0f;  // no frame starts with this: samples are whole numbers
            ProcessBlock(samples, length, false);
            if (FrameLate[0] == -1.0f) continue;
            ++analyses;
            const int lateStart = (SampleRing.writeIndex - n * step + kRingSamples) & kRingMask;
            const int earlyStart = (lateStart - n * step + kRingSamples) & kRingMask;
            for (const auto& [frame, start] :
                 {std::pair{FrameLate, lateStart}, std::pair{FrameEarly, earlyStart}}) {
                float expected[kFrameCapacity];
                expected[0] = SampleRing.samples[start];
                for (int i = 1; i < n; ++i) {
                    const int j = start + i * step;
                    expected[i] = static_cast<float>(SampleRing.samples[j & kRingMask]) -
                                  static_cast<float>(SampleRing.samples[(j - 1) & kRingMask]) * k;
                }
                ApplyAnalysisWindow(n, expected, 32800.0f / AnalyzerSettings.windowAlpha);
                ASSERT_EQ(std::memcmp(frame, expected, sizeof(float) * n), 0)
                    << "call " << call << ", frame from ring position " << start;
            }
        }
        EXPECT_GT(analyses, 20);
    }
}

TEST_F(PipelineTest, NoiseReferenceRunsThirteenAnalysesAndIsSubtracted) {
    Start();
    // The spectrum view shows the notice on the overlay, where its removal can be seen.
    ViewMode = 1;
    EnterSpectrumView(22050, 1024, 1, 0);
    // Early frames hold the louder tone: every analysis sees the same two spectra.
    const Block early = Tone(10000, 20), late = Tone(7746, 20);
    SetNoiseReferenceEnabled(true);
    ShowCalibrating(1, true);  // as the noise button does
    const auto noticeShown = [] {
        for (int y = 110; y < 117; ++y) {
            for (int x = 85; x < 85 + 11 * 8; ++x) {
                if (OverlaySurface.pixels[y * kSurfaceWidth + x] != 0) return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(noticeShown());

    float pe[kSpectrumSize], pl[kSpectrumSize];
    float sum[kSpectrumSize] = {};
    const int states[13] = {2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 4, 0};
    for (int call = 0; call < 13; ++call) {
        Feed(early);
        if (call == 7) {
            // Into state 3: entries rise to a value above them but below twice them; the
            // late spectrum is offered first, then the early one against the new entry.
            NoiseReference.referenceSpectrum[20] = pl[20] / 1.5f;
            NoiseReference.referenceSpectrum[22] = pl[22] / 2.0f;
            NoiseReference.referenceSpectrum[40] = 1.0f;
        }
        Feed(late);
        SCOPED_TRACE(call);
        ASSERT_EQ(NoiseReference.runState, states[call]);
        std::memcpy(pe, PowerSpectrumEarly, sizeof pe);
        std::memcpy(pl, PowerSpectrumLate, sizeof pl);
        if (call >= 1 && call <= 5) {
            for (int i = 0; i < 1024; ++i)
                sum[i] = (pe[i] + pl[i]) + sum[i];
        }
        if (call == 6) {
            // Five calls added ten spectra; the divisor is the six calls of state 2.
            EXPECT_EQ(NoiseReference.spectraSummed, 6);
            for (int i = 1; i < 1024; ++i) {
                ASSERT_EQ(NoiseReference.referenceSpectrum[i], sum[i] * (1.0f / 6.0f)) << i;
            }
        }
        if (call == 7) {
            EXPECT_GT(pe[20] / pl[20], 1.5f);
            EXPECT_LT(pe[20] / pl[20], 2.0f);
            EXPECT_EQ(NoiseReference.referenceSpectrum[20], pe[20]);
            EXPECT_EQ(NoiseReference.referenceSpectrum[22], pl[22] / 2.0f);
            EXPECT_EQ(NoiseReference.referenceSpectrum[40], 1.0f);
        }
        EXPECT_EQ(NoiseReference.valid, call == 12);
    }
    EXPECT_TRUE(NoiseReference.valid);
    EXPECT_FALSE(noticeShown());

    // From the next analysis on, the reference is taken off both spectra, unclamped.
    float reference[kSpectrumSize];
    std::memcpy(reference, NoiseReference.referenceSpectrum, sizeof reference);
    Feed(early);
    Feed(late);
    EXPECT_EQ(PowerSpectrumEarly[20], pe[20] - reference[20]);
    EXPECT_EQ(PowerSpectrumLate[21], pl[21] - reference[21]);
    EXPECT_LT(PowerSpectrumLate[21], 0.0f);

    // Switching off stops the subtraction; switching on again restarts the measurement.
    SetNoiseReferenceEnabled(false);
    Feed(early);
    Feed(late);
    EXPECT_EQ(PowerSpectrumLate[21], pl[21]);
    SetNoiseReferenceEnabled(true);
    EXPECT_EQ(NoiseReference.runState, 1);
    EXPECT_FALSE(NoiseReference.valid);
}

TEST_F(PipelineTest, AutomaticRangeTakesTheLoudestBinOfOneSecond) {
    // "Medium" resolution: no peak picking, so the spectra seen are the ones measured.
    Start("0 80 20 1 1 2 1 2");
    const Block silence = Constant(0);
    StartAutoRange();
    for (int call = 0; call < 13; ++call) {
        Feed(silence);
        Feed(silence);
    }
    // Silence beats the start value of -4 but is no level: the range stays.
    EXPECT_FALSE(AutoRange.active);
    EXPECT_EQ(AutoRange.maxLevel, 0.0f);
    EXPECT_EQ(AnalyzerSettings.dbMax, 80);
    EXPECT_EQ(AnalyzerSettings.dbMin, 20);

    const Block loud = Tone(20000, 20), quiet = Tone(5000, 30);
    StartAutoRange();
    float loudest = -4.0f;
    for (int call = 0; call < 13; ++call) {
        SCOPED_TRACE(call);
        Feed(quiet);
        Feed(call == 5 ? loud : quiet);
        // One call starts, eleven measure (the last of them only counts), one applies.
        ASSERT_EQ(AutoRange.active, call < 12);
        if (call >= 1 && call <= 10) {
            loudest = std::max(
                {loudest, MaxOf(PowerSpectrumEarly, 1024), MaxOf(PowerSpectrumLate, 1024)});
        }
        if (call >= 1 && call <= 11) {
            ASSERT_EQ(AutoRange.maxLevel, loudest);
        }
    }
    EXPECT_EQ(AnalyzerSettings.dbMin, 0);
    EXPECT_EQ(AnalyzerSettings.dbMax,
              static_cast<int>(10.0 * std::log10(static_cast<double>(loudest)) + 100.0));
    EXPECT_EQ(ViewState.dbMax, AnalyzerSettings.dbMax);
}

TEST_F(PipelineTest, LockStateFollowsAcceptedPitchesAndMisses) {
    Start();
    const Block tone = Tone(8000, 20), silence = Constant(0);
    Feed(tone);
    Feed(tone);  // accepted by the idle tracker, but no pitch is reported yet
    EXPECT_EQ(PitchLock.confidence, 0);
    EXPECT_EQ(PitchLock.pitchLockState, 2);
    EXPECT_NEAR(PitchLock.estimateEarly.frequency, 20 * 22050.0f / 1024.0f, 1.0f);
    Feed(tone);
    EXPECT_EQ(PitchLock.confidence, 1);
    EXPECT_EQ(PitchLock.pitchLockState, 2);
    Feed(tone);  // the second accepted pitch in a row locks
    EXPECT_EQ(PitchLock.confidence, 2);
    EXPECT_EQ(PitchLock.pitchLockState, 0);

    Feed(silence);  // still fed the tone's estimate of the last analysis
    EXPECT_EQ(PitchLock.pitchLockState, 0);
    const int expected[][3] = {
        // confidence, state, misses after each silent call
        {1, 0, 1},
        {0, 0, 2},
        {0, 1, 3},
        {0, 1, 4},
    };
    for (const auto& e : expected) {
        Feed(silence);
        EXPECT_EQ(PitchLock.confidence, e[0]);
        EXPECT_EQ(PitchLock.pitchLockState, e[1]);
        EXPECT_EQ(PitchLock.missCount, e[2]);
    }
    while (PitchLock.missCount < 40)
        Feed(silence);
    EXPECT_EQ(PitchLock.pitchLockState, 1);
    const int readouts = ReadoutState.refreshCounter;
    Feed(silence);  // more than 40 misses: lost, still drawn while a pitch is reported
    EXPECT_EQ(PitchLock.pitchLockState, 2);
    EXPECT_NE(ReadoutState.refreshCounter, readouts);

    // One accepted pitch after a loss does not lock yet.
    Feed(tone);  // still fed the silent estimate
    Feed(tone);
    EXPECT_EQ(PitchLock.missCount, 0);
    EXPECT_EQ(PitchLock.pitchLockState, 2);
}

TEST_F(PipelineTest, WithoutPitchTrackingTheBandIsBlankedAndTheLockKept) {
    Start("0 80 20 2 1 2 1 2");
    const Block tone = Tone(8000, 20);
    FillRect(kPenWhite, 3, 73, 233, 10);
    for (int call = 0; call < 6; ++call)
        Feed(tone);
    EXPECT_EQ(ReadoutState.refreshCounter, 0);
    EXPECT_EQ(PitchLock.pitchLockState, 2);
    EXPECT_EQ(PitchLock.confidence, 0);
    EXPECT_EQ(PitchLock.estimateEarly.frequency, 0.0f);
    EXPECT_EQ(PitchTracker.state, PitchState::Idle);
    EXPECT_EQ(ScreenPixel(100, 77), 0x0000);  // blanked: black inside
    EXPECT_EQ(ScreenPixel(0, 77), 0x001F);    // in the blue frame
}

}  // namespace
