// SPDX-License-Identifier: GPL-3.0-or-later
// The lag products through transforms against the direct sums, lag by lag in double, on
// frames of the kinds the pitch estimator meets, at every size it accepts.
#include "analysis/lag_products.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/support/pitch_material.h"

namespace {

std::vector<double> DirectLagProducts(const std::vector<float>& x, int maxLag) {
    const int windowLength = 2 * maxLag;
    std::vector<double> products(size_t(maxLag) + 1, 0.0);
    for (int t = 0; t <= maxLag; ++t) {
        for (int j = 0; j < windowLength; ++j)
            products[size_t(t)] += double(x[size_t(j)]) * double(x[size_t(j + t)]);
    }
    return products;
}

// The largest difference from the direct sums, as a share of their bound (by Cauchy-Schwarz,
// no product exceeds the root of the window's energy times the segment's).
double WorstError(const std::vector<float>& x, int maxLag) {
    const int windowLength = 2 * maxLag;
    std::vector<float> fast(size_t(maxLag) + 1, -1.0f);
    EXPECT_TRUE(ComputeLagProducts(x.data(), maxLag, fast.data()));
    const std::vector<double> direct = DirectLagProducts(x, maxLag);
    double worst = 0.0;
    for (int t = 0; t <= maxLag; ++t)
        worst = std::fmax(worst, std::fabs(double(fast[size_t(t)]) - direct[size_t(t)]));
    double windowEnergy = 0.0;
    double segmentEnergy = 0.0;
    for (int j = 0; j < windowLength + maxLag; ++j) {
        const double square = double(x[size_t(j)]) * double(x[size_t(j)]);
        segmentEnergy += square;
        if (j < windowLength) windowEnergy += square;
    }
    return worst / std::sqrt(windowEnergy * segmentEnergy);
}

struct Frame {
    std::string name;
    std::vector<float> samples;  // 16-bit units, long enough for every size below
};

std::vector<Frame> Frames() {
    std::vector<Frame> frames;
    auto tone = [&](const char* name, Timbre timbre, double hz, double snrDb, double peakDbfs) {
        ToneRecipe recipe;
        recipe.timbre = timbre;
        recipe.startHz = recipe.endHz = hz;
        recipe.seconds = 0.2;
        recipe.snrDb = snrDb;
        recipe.peakDbfs = peakDbfs;
        if (timbre == Timbre::kNone) recipe.noiseDbfs = peakDbfs;
        std::vector<float> samples = Synthesize(recipe, 22050);
        samples.resize(3 * kLagProductsMaxLag);
        frames.push_back({name, samples});
    };
    tone("sine 55 Hz", Timbre::kSine, 55.0, 1e9, -6.0);
    tone("sawtooth 220 Hz", Timbre::kSawtooth, 220.0, 1e9, -6.0);
    tone("piano 1760 Hz", Timbre::kPiano, 1760.0, 1e9, -1.0);
    tone("brass 110 Hz, quiet", Timbre::kBrass, 110.0, 1e9, -66.0);
    tone("sine 440 Hz at 0 dB SNR", Timbre::kSine, 440.0, 0.0, -6.0);
    tone("noise alone", Timbre::kNone, 0.0, 1e9, -20.0);
    std::vector<float> clipped(3 * kLagProductsMaxLag);
    std::vector<float> impulses(3 * kLagProductsMaxLag, 0.0f);
    for (int i = 0; i < 3 * kLagProductsMaxLag; ++i) {
        clipped[size_t(i)] = (i / 37) % 2 ? 32767.0f : -32768.0f;
        if (i % 301 == 5) impulses[size_t(i)] = 20000.0f;
    }
    frames.push_back({"full-scale square", clipped});
    frames.push_back({"impulses", impulses});
    return frames;
}

TEST(LagProducts, EqualTheDirectSumsOnEveryKindOfFrame) {
    // The pipeline's two profiles (512 and 256 lags) and every other power of two down to 4.
    for (const Frame& frame : Frames()) {
        for (int maxLag = kLagProductsMaxLag; maxLag >= 4; maxLag /= 2) {
            SCOPED_TRACE(frame.name + ", lags " + std::to_string(maxLag));
            EXPECT_LT(WorstError(frame.samples, maxLag), 1e-6);
        }
    }
}

TEST(LagProducts, LagRangesThatAreNoPowerOfTwoOrOutsideTheLimitsLeaveTheProductsAlone) {
    const std::vector<float> x(6 * kLagProductsMaxLag, 1.0f);
    std::vector<float> products(2 * kLagProductsMaxLag + 1, -1.0f);
    for (int maxLag : {2 * kLagProductsMaxLag, 2, 0, -4, 300, 12})
        EXPECT_FALSE(ComputeLagProducts(x.data(), maxLag, products.data()));
    for (float p : products)
        EXPECT_EQ(p, -1.0f);
    // A constant's products are the window length at every lag.
    ASSERT_TRUE(ComputeLagProducts(x.data(), kLagProductsMaxLag, products.data()));
    EXPECT_NEAR(products[0], 2 * kLagProductsMaxLag, 1e-3);
    EXPECT_NEAR(products[kLagProductsMaxLag], 2 * kLagProductsMaxLag, 1e-3);
    EXPECT_EQ(products[kLagProductsMaxLag + 1], -1.0f);
}

}  // namespace
