// SPDX-License-Identifier: GPL-3.0-or-later
// Complex FFT and the two-frame power spectra.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "analysis/analysis.h"

namespace {

constexpr double kPi = 3.141592653589793;

using Frame = std::array<float, kFftMaxSize>;

// Forward DFT in double, the reference the single-precision transform is held against.
std::vector<std::complex<double>> ReferenceDft(int n, const float* re, const float* im) {
    std::vector<std::complex<double>> out(n);
    for (int k = 0; k < n; ++k) {
        std::complex<double> sum = 0.0;
        for (int t = 0; t < n; ++t) {
            const double angle =
                -2.0 * kPi * static_cast<double>((static_cast<long>(k) * t) % n) / n;
            sum += std::complex<double>(re[t], im[t]) * std::polar(1.0, angle);
        }
        out[k] = sum;
    }
    return out;
}

// A sine of amplitude 32800 exactly on bin `bin`, windowed as the pipeline does.
Frame WindowedSine(int n, int bin, float alpha) {
    Frame frame{};
    for (int i = 0; i < n; ++i) {
        frame[i] = static_cast<float>(32800.0 * std::sin(2.0 * kPi * bin * i / n));
    }
    BuildAnalysisWindow(n, alpha);
    ApplyAnalysisWindow(n, frame.data(), 32800.0f / alpha);
    return frame;
}

TEST(ComplexFft, EveryImpulseAtEightPointsGivesItsTwiddleRow) {
    // Each impulse lands at the bit-reversed slot of its index before the butterflies
    // (order 0 4 2 6 1 5 3 7); a wrong slot turns the output into another index's row.
    for (int at = 0; at < 8; ++at) {
        SCOPED_TRACE(at);
        Frame re{}, im{}, outRe{}, outIm{};
        re[at] = 1.0f;
        ComplexFft(3, re.data(), im.data(), outRe.data(), outIm.data());
        for (int k = 0; k < 8; ++k) {
            const std::complex<double> expected = std::polar(1.0, -2.0 * kPi * k * at / 8.0);
            EXPECT_NEAR(outRe[k], expected.real(), 1e-6) << k;
            EXPECT_NEAR(outIm[k], expected.imag(), 1e-6) << k;
        }
        if (at == 0) {
            for (int k = 0; k < 8; ++k) {
                EXPECT_EQ(outRe[k], 1.0f);
                EXPECT_EQ(outIm[k], 0.0f);
            }
        }
        EXPECT_EQ(outRe[8], 0.0f);  // N entries written, no more
    }
}

TEST(ComplexFft, MatchesDoubleDftAtEverySize) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    Frame re{}, im{}, outRe, outIm;
    for (int log2 = kFftMinLog2; log2 <= kFftMaxLog2; ++log2) {
        SCOPED_TRACE(log2);
        const int n = 1 << log2;
        for (int i = 0; i < n; ++i) {
            re[i] = sample(random);
            im[i] = sample(random);
        }
        const Frame inRe = re, inIm = im;
        ComplexFft(log2, re.data(), im.data(), outRe.data(), outIm.data());
        EXPECT_EQ(re, inRe);
        EXPECT_EQ(im, inIm);
        const auto expected = ReferenceDft(n, re.data(), im.data());
        // The twiddle recurrence drifts with the stage length; a wrong twiddle, sign or
        // order is off by the order of the values themselves (about sqrt(n)).
        const double tolerance = 2e-6 * n;
        for (int k = 0; k < n; ++k) {
            ASSERT_NEAR(outRe[k], expected[k].real(), tolerance) << k;
            ASSERT_NEAR(outIm[k], expected[k].imag(), tolerance) << k;
        }
    }
}

// The transform in its plain, unoptimised form: 1-based indices, bit reversal by the
// counter j, per-stage twiddles from cos and sin of pi / half rotated by a recurrence. The
// drawn spectra depend on every rounding of this order, so the transform must match it bit
// for bit (a twiddle table or another butterfly order stays within the DFT tolerance).
void LiteralFft(int log2, const float* inRe, const float* inIm, float* outRe, float* outIm) {
    const int n = 1 << log2;
    std::vector<float> zr(n + 1), zi(n + 1);  // entry 0 unused
    for (int i = 1; i <= n; ++i) {
        zr[i] = inRe[i - 1];
        zi[i] = inIm[i - 1];
    }
    int j = 1;
    for (int i = 1; i <= n - 1; ++i) {
        if (i < j) {
            std::swap(zr[i], zr[j]);
            std::swap(zi[i], zi[j]);
        }
        int m = n / 2;
        while (m < j) {
            j = j - m;
            m = m / 2;
        }
        j = j + m;
    }
    for (int s = 1; s <= log2; ++s) {
        const int le = static_cast<int>(std::pow(2.0, s));
        const int half = le / 2;
        const double theta = 3.141592653589793 / half;
        const float c = static_cast<float>(std::cos(theta));
        const float d = static_cast<float>(std::sin(theta) * -1.0);
        float wr = 1.0f, wi = 0.0f;
        for (int jj = 1; jj <= half; ++jj) {
            for (int i = jj; i <= n; i += le) {
                const int b = i + half;
                const float tr = zr[b] * wr - zi[b] * wi;
                const float ti = zi[b] * wr + zr[b] * wi;
                zr[b] = zr[i] - tr;
                zi[b] = zi[i] - ti;
                zr[i] = tr + zr[i];
                zi[i] = zi[i] + ti;
            }
            const float nr = c * wr - d * wi;
            const float ni = c * wi + d * wr;
            wr = nr;
            wi = ni;
        }
    }
    for (int i = 0; i < n; ++i) {
        outRe[i] = zr[i + 1];
        outIm[i] = zi[i + 1];
    }
}

TEST(ComplexFft, RoundsExactlyAsTheWrittenAlgorithm) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> sample(-1000.0f, 1000.0f);
    Frame re{}, im{}, outRe, outIm, expectRe, expectIm;
    for (int log2 : {3, 9, 10, 12}) {
        SCOPED_TRACE(log2);
        const int n = 1 << log2;
        for (int i = 0; i < n; ++i) {
            re[i] = sample(random);
            im[i] = sample(random);
        }
        ComplexFft(log2, re.data(), im.data(), outRe.data(), outIm.data());
        LiteralFft(log2, re.data(), im.data(), expectRe.data(), expectIm.data());
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(outRe[k], expectRe[k]) << k;
            ASSERT_EQ(outIm[k], expectIm[k]) << k;
        }
    }
}

// The split in its plain form: m = (N - k) mod N, both quotients by the float N in turn.
void LiteralSplit(int n, const float* re, const float* im, float* early, float* late) {
    const float nf = static_cast<float>(n);
    for (int k = 0; k < n; ++k) {
        const int m = (n - k) % n;
        const float eRe = (re[m] + re[k]) * 0.5f;
        const float eIm = (im[k] - im[m]) * 0.5f;
        early[k] = (eIm * eIm + eRe * eRe) / nf / nf;
        const float lRe = (im[m] + im[k]) * 0.5f;
        const float lIm = (re[m] - re[k]) * 0.5f;
        late[k] = (lIm * lIm + lRe * lRe) / nf / nf;
    }
}

// Bit patterns, so that a signed zero or a changed last bit counts as a difference.
void ExpectSameBits(const float* actual, const float* expected, int n, const char* what) {
    for (int k = 0; k < n; ++k) {
        ASSERT_EQ(std::bit_cast<uint32_t>(actual[k]), std::bit_cast<uint32_t>(expected[k]))
            << what << " " << k << ": " << actual[k] << " vs " << expected[k];
    }
}

// Frames of the kinds the transform meets: uniform noise, a windowed voice-like recording
// (harmonics plus noise from 16-bit samples, pre-emphasised as the pipeline cuts it),
// silence with signed zeros, a constant and single impulses.
enum class Input { Noise, Recorded, SignedZeros, Constant, Impulse };

void MakeFrame(Input kind, int n, std::mt19937& random, float* frame) {
    std::uniform_real_distribution<float> uniform(-1000.0f, 1000.0f);
    switch (kind) {
        case Input::Noise:
            for (int i = 0; i < n; ++i)
                frame[i] = uniform(random);
            return;
        case Input::Recorded: {
            const double f0 = 90.0 + static_cast<double>(random() % 300);
            std::vector<int16_t> x(n + 1);
            for (int i = 0; i <= n; ++i) {
                double v = 0.0;
                for (int h = 1; h <= 6; ++h)
                    v += 5000.0 / h * std::sin(2.0 * kPi * f0 * h * i / 22050.0 + h);
                x[i] = static_cast<int16_t>(std::lround(v + uniform(random)));
            }
            frame[0] = static_cast<float>(x[1]);
            for (int i = 1; i < n; ++i)
                frame[i] = static_cast<float>(x[i + 1]) - static_cast<float>(x[i]) * 0.97f;
            BuildAnalysisWindow(n, 2.5f);
            ApplyAnalysisWindow(n, frame, 32800.0f / 2.5f);
            return;
        }
        case Input::SignedZeros:
            for (int i = 0; i < n; ++i)
                frame[i] = (random() & 1) ? -0.0f : 0.0f;
            return;
        case Input::Constant:
            std::fill(frame, frame + n, 0.3f);
            return;
        case Input::Impulse:
            std::fill(frame, frame + n, 0.0f);
            frame[random() % n] = -2.5f;
            return;
    }
}

// Every size, visited out of order and more than once, so that a table kept from an
// earlier size (twiddles, bit reversal) shows up as a wrong bit at the next one.
TEST(ComplexFft, EverySizeInAnyOrderRoundsExactlyAsTheWrittenAlgorithm) {
    std::mt19937 random(5);
    const int order[] = {10, 2, 7, 12, 3, 10, 4, 9, 5, 6, 11, 8, 2, 12, 9, 10};
    const Input kinds[] = {Input::Noise, Input::Recorded, Input::SignedZeros, Input::Constant,
                           Input::Impulse};
    Frame re, im, outRe, outIm, expectRe, expectIm;
    Frame early, late, expectEarly, expectLate;
    for (int log2 : order) {
        const int n = 1 << log2;
        for (Input kindRe : kinds) {
            for (Input kindIm : {Input::Noise, Input::Recorded, Input::SignedZeros}) {
                SCOPED_TRACE(testing::Message()
                             << "log2 " << log2 << " kinds " << static_cast<int>(kindRe) << "/"
                             << static_cast<int>(kindIm));
                MakeFrame(kindRe, n, random, re.data());
                MakeFrame(kindIm, n, random, im.data());
                ComplexFft(log2, re.data(), im.data(), outRe.data(), outIm.data());
                LiteralFft(log2, re.data(), im.data(), expectRe.data(), expectIm.data());
                ExpectSameBits(outRe.data(), expectRe.data(), n, "re");
                ExpectSameBits(outIm.data(), expectIm.data(), n, "im");

                TransformFramePair(log2, re.data(), im.data(), early.data(), late.data());
                ExpectSameBits(FftRe, expectRe.data(), n, "FftRe");
                ExpectSameBits(FftIm, expectIm.data(), n, "FftIm");
                LiteralSplit(n, expectRe.data(), expectIm.data(), expectEarly.data(),
                             expectLate.data());
                ExpectSameBits(early.data(), expectEarly.data(), n, "early power");
                ExpectSameBits(late.data(), expectLate.data(), n, "late power");
            }
        }
    }
}

TEST(ComplexFft, OutputsMayBeTheInputs) {
    std::mt19937 random(9);
    Frame re, im, expectRe, expectIm;
    for (int log2 : {4, 10}) {
        const int n = 1 << log2;
        MakeFrame(Input::Recorded, n, random, re.data());
        MakeFrame(Input::Noise, n, random, im.data());
        LiteralFft(log2, re.data(), im.data(), expectRe.data(), expectIm.data());
        ComplexFft(log2, re.data(), im.data(), re.data(), im.data());
        ExpectSameBits(re.data(), expectRe.data(), n, "re");
        ExpectSameBits(im.data(), expectIm.data(), n, "im");
    }
}

TEST(ComplexFft, SizeOutsideTwoToTwelveWritesNothing) {
    Frame in{}, outRe, outIm;
    in[0] = 1.0f;
    for (int log2 : {-1, 0, 1, 13, 31}) {
        outRe.fill(-7.0f);
        outIm.fill(-7.0f);
        ComplexFft(log2, in.data(), in.data(), outRe.data(), outIm.data());
        EXPECT_TRUE(std::all_of(outRe.begin(), outRe.end(), [](float v) { return v == -7.0f; }));
        EXPECT_TRUE(std::all_of(outIm.begin(), outIm.end(), [](float v) { return v == -7.0f; }));
    }
}

TEST(TransformFramePair, FullScaleSineOnABinReadsPiOverSixteenAtEveryResolution) {
    struct Case {
        float alpha;
        double neighbour;  // power of bin 101, set by the window's width
    };
    for (const Case& c : {Case{2.5f, 0.089}, Case{6.25f, 0.173}, Case{15.625f, 0.192}}) {
        SCOPED_TRACE(c.alpha);
        const Frame sine = WindowedSine(1024, 100, c.alpha);
        const Frame silence{};
        TransformFramePair(10, sine.data(), silence.data(), PowerSpectrumEarly, PowerSpectrumLate);
        EXPECT_NEAR(PowerSpectrumEarly[100], kPi / 16.0, 0.001);
        EXPECT_NEAR(PowerSpectrumEarly[101], c.neighbour, 0.001);
        EXPECT_GT(PowerSpectrumEarly[100], PowerSpectrumEarly[99]);
        EXPECT_GT(PowerSpectrumEarly[100], PowerSpectrumEarly[101]);
        EXPECT_LT(*std::max_element(PowerSpectrumLate, PowerSpectrumLate + 1024), 1e-12f);
    }
}

TEST(TransformFramePair, SeparatesTheTwoFramesAndSwapsWithThem) {
    const Frame low = WindowedSine(1024, 37, 2.5f);
    const Frame high = WindowedSine(1024, 200, 2.5f);
    TransformFramePair(10, low.data(), high.data(), PowerSpectrumEarly, PowerSpectrumLate);
    std::array<float, 1024> early, late;
    std::copy(PowerSpectrumEarly, PowerSpectrumEarly + 1024, early.begin());
    std::copy(PowerSpectrumLate, PowerSpectrumLate + 1024, late.begin());
    EXPECT_NEAR(early[37], kPi / 16.0, 0.001);
    EXPECT_NEAR(late[200], kPi / 16.0, 0.001);
    EXPECT_LT(early[200], 1e-9f);
    EXPECT_LT(late[37], 1e-9f);

    TransformFramePair(10, high.data(), low.data(), PowerSpectrumEarly, PowerSpectrumLate);
    for (int k = 0; k < 1024; ++k) {
        ASSERT_NEAR(PowerSpectrumEarly[k], late[k], 1e-6) << k;
        ASSERT_NEAR(PowerSpectrumLate[k], early[k], 1e-6) << k;
    }
}

TEST(TransformFramePair, ConstantFrameKeepsAllItsPowerInBinZero) {
    const Frame sine = WindowedSine(1024, 100, 6.25f);
    Frame constant;
    constant.fill(0.25f);
    const Frame silence{};
    TransformFramePair(10, silence.data(), sine.data(), PowerSpectrumEarly, PowerSpectrumLate);
    const float lateDcAlone = PowerSpectrumLate[0];
    TransformFramePair(10, constant.data(), sine.data(), PowerSpectrumEarly, PowerSpectrumLate);
    EXPECT_FLOAT_EQ(PowerSpectrumEarly[0], 0.0625f);
    EXPECT_LT(*std::max_element(PowerSpectrumEarly + 1, PowerSpectrumEarly + 1024), 1e-12f);
    EXPECT_NEAR(PowerSpectrumLate[0], lateDcAlone, 1e-12);
    EXPECT_NEAR(PowerSpectrumLate[100], kPi / 16.0, 0.001);
}

TEST(TransformFramePair, SpectraAreMirroredAboutHalfTheSize) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    Frame a, b;
    for (int log2 : {9, 10}) {
        SCOPED_TRACE(log2);
        const int n = 1 << log2;
        for (int i = 0; i < n; ++i) {
            a[i] = sample(random);
            b[i] = sample(random);
        }
        TransformFramePair(log2, a.data(), b.data(), PowerSpectrumEarly, PowerSpectrumLate);
        for (int k = 1; k < n; ++k) {
            ASSERT_EQ(PowerSpectrumEarly[n - k], PowerSpectrumEarly[k]) << k;
            ASSERT_EQ(PowerSpectrumLate[n - k], PowerSpectrumLate[k]) << k;
        }
        // The split must agree with each frame's own transform.
        const Frame zero{};
        Frame re, im;
        ComplexFft(log2, a.data(), zero.data(), re.data(), im.data());
        for (int k = 0; k < n; ++k) {
            const double power = (double(re[k]) * re[k] + double(im[k]) * im[k]) / n / n;
            ASSERT_NEAR(PowerSpectrumEarly[k], power, 1e-6 + power * 1e-4) << k;
        }
    }
}

}  // namespace
