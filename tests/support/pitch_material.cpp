// SPDX-License-Identifier: GPL-3.0-or-later
// Generated pitch material.
#include "tests/support/pitch_material.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kFullScale = 32768.0;
constexpr double kPianoStretch = 0.0004;
constexpr int kMaxPartials = 64;

// Amplitude of partial n (1-based) of a timbre, before the overall scaling.
double PartialAmplitude(Timbre timbre, int n) {
    switch (timbre) {
        case Timbre::kSine:
            return n == 1 ? 1.0 : 0.0;
        case Timbre::kSquare:
            return n % 2 == 1 ? 1.0 / n : 0.0;
        case Timbre::kTriangle:
            return n % 2 == 1 ? ((n / 2) % 2 == 0 ? 1.0 : -1.0) / (double(n) * n) : 0.0;
        case Timbre::kSawtooth:
        case Timbre::kPiano:
            return 1.0 / n;
        case Timbre::kWeakFundamental:
            return n == 1 ? 0.25 : n <= 3 ? 1.0 : 1.0 / n;
        case Timbre::kOddOnly: {
            static const double odd[] = {0.3, 0.0, 1.0, 0.0, 0.8, 0.0, 0.4, 0.0, 0.3, 0.0, 0.15};
            return n <= 11 ? odd[n - 1] : 0.0;
        }
        case Timbre::kMissingFundamental:
            return n >= 2 && n <= 8 ? 1.0 / n : 0.0;
        case Timbre::kBrass: {
            static const double brass[] = {0.3,  0.7,  1.0, 0.8,  0.6, 0.45,
                                           0.35, 0.25, 0.2, 0.15, 0.1, 0.08};
            return n <= 12 ? brass[n - 1] : 0.0;
        }
        case Timbre::kNone:
            break;
    }
    return 0.0;
}

double PartialRatio(Timbre timbre, int n) {
    if (timbre != Timbre::kPiano) return n;
    return n * std::sqrt(1.0 + kPianoStretch * n * n);
}

// A fixed sequence of unit Gaussian values (xorshift and Box-Muller).
struct Gaussian {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    double Uniform() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return (double(state >> 11) + 0.5) / 9007199254740992.0;
    }
    double Next() {
        return std::sqrt(-2.0 * std::log(Uniform())) * std::cos(2.0 * kPi * Uniform());
    }
};

}  // namespace

double TrueFrequency(const ToneRecipe& recipe, double t) {
    const double local = t - recipe.onsetSeconds;
    if (recipe.timbre == Timbre::kNone || local < 0.0 || local >= recipe.seconds) return 0.0;
    double hz = recipe.startHz * std::pow(recipe.endHz / recipe.startHz, local / recipe.seconds);
    if (recipe.vibratoCents != 0.0) {
        hz *= std::pow(
            2.0, recipe.vibratoCents * std::sin(2.0 * kPi * recipe.vibratoHz * local) / 1200.0);
    }
    return hz;
}

double ToneLevelDbfs(const ToneRecipe& recipe, double t) {
    return recipe.peakDbfs - recipe.decayDbPerSecond * std::max(0.0, t - recipe.onsetSeconds);
}

std::vector<float> Synthesize(const ToneRecipe& recipe, int rate) {
    const int onset = int(std::lround(recipe.onsetSeconds * rate));
    const int length = onset + int(std::lround(recipe.seconds * rate));
    std::vector<double> tone(size_t(length), 0.0);
    if (recipe.timbre != Timbre::kNone) {
        double amplitudes[kMaxPartials + 1] = {};
        for (int n = 1; n <= kMaxPartials; ++n)
            amplitudes[n] = PartialAmplitude(recipe.timbre, n);
        double phase = 0.0;  // of the fundamental, in cycles
        for (int i = onset; i < length; ++i) {
            const double t = double(i) / rate;
            const double hz = TrueFrequency(recipe, t);
            double v = 0.0;
            for (int n = 1; n <= kMaxPartials; ++n) {
                const double ratio = PartialRatio(recipe.timbre, n);
                if (amplitudes[n] == 0.0 || hz * ratio >= 0.45 * rate) continue;
                v += amplitudes[n] * std::sin(2.0 * kPi * ratio * phase);
            }
            tone[size_t(i)] =
                v * std::pow(10.0, (ToneLevelDbfs(recipe, t) - recipe.peakDbfs) / 20.0);
            phase += hz / rate;
            phase -= std::floor(phase);
        }
        double peak = 0.0, power = 0.0;
        for (int i = onset; i < length; ++i) {
            peak = std::max(peak, std::fabs(tone[size_t(i)]));
            power += tone[size_t(i)] * tone[size_t(i)];
        }
        const double scale =
            peak > 0.0 ? kFullScale * std::pow(10.0, recipe.peakDbfs / 20.0) / peak : 0.0;
        for (double& v : tone)
            v *= scale;
        power *= scale * scale / std::max(1, length - onset);
        if (recipe.snrDb < 1e6) {
            const double rms = std::sqrt(power / std::pow(10.0, recipe.snrDb / 10.0));
            Gaussian noise;
            for (double& v : tone)
                v += rms * noise.Next();
        }
    } else if (recipe.noiseDbfs > -200.0) {
        Gaussian noise;
        for (double& v : tone)
            v = noise.Next();
        for (int pass = 0; pass < recipe.noisePasses; ++pass) {
            double y = 0.0;
            for (double& v : tone) {
                y = 0.9 * y + 0.1 * v;
                v = y;
            }
        }
        double power = 0.0;
        for (double v : tone)
            power += v * v;
        const double scale = kFullScale * std::pow(10.0, recipe.noiseDbfs / 20.0) /
                             std::sqrt(std::max(power / std::max<size_t>(1, tone.size()), 1e-30));
        for (double& v : tone)
            v *= scale;
    }
    return std::vector<float>(tone.begin(), tone.end());
}

std::vector<int16_t> ToPcm16(const std::vector<float>& samples) {
    std::vector<int16_t> pcm(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const double v = std::clamp(std::round(double(samples[i])), -32768.0, 32767.0);
        pcm[i] = int16_t(v);
    }
    return pcm;
}

double CentsOff(double measured, double truth) {
    return 1200.0 * std::log2(measured / truth);
}
