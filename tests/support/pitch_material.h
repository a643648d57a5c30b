// SPDX-License-Identifier: GPL-3.0-or-later
// Generated material for measuring pitch estimators: tones whose true pitch is known at
// every instant (steady, gliding, with vibrato, decaying), in several timbres, with white
// noise at a chosen SNR, and noise or silence alone. Samples are floats in 16-bit units.
#pragma once

#include <cstdint>
#include <vector>

enum class Timbre {
    kNone,  // no tone: noise alone, or silence
    kSine,
    kSquare,              // odd harmonics at 1/n
    kTriangle,            // odd harmonics at 1/n^2, alternating sign
    kSawtooth,            // every harmonic at 1/n
    kWeakFundamental,     // fundamental 12 dB below the 2nd and 3rd harmonics
    kOddOnly,             // clarinet-like: odd harmonics, the 3rd and 5th strongest
    kMissingFundamental,  // harmonics 2 to 8, no fundamental
    kPiano,               // stretched partials f n sqrt(1 + B n^2), B = 0.0004, 1/n
    kBrass,               // harmonics 1 to 12, strongest at the 3rd
};

struct ToneRecipe {
    Timbre timbre = Timbre::kSine;
    double startHz = 440.0;
    double endHz = 440.0;       // a glide moves exponentially from startHz to endHz
    double vibratoCents = 0.0;  // peak deviation
    double vibratoHz = 6.0;
    double seconds = 2.0;
    double onsetSeconds = 0.0;  // silence before the tone
    double peakDbfs = -6.0;     // level of the tone's largest sample, about
    double decayDbPerSecond = 0.0;
    double snrDb = 1e9;       // white noise below the tone's mean power; huge: none
    double noiseDbfs = -1e9;  // noise alone (Timbre::kNone): its RMS level
    int noisePasses = 0;      // one-pole low-passes (at about 370 Hz) over noise alone
};

// The tone's true fundamental at time t (seconds from the file's start); 0 where there is
// no tone.
double TrueFrequency(const ToneRecipe& recipe, double t);
// The tone's level in dBFS at time t (the decay from its peak), without the noise.
double ToneLevelDbfs(const ToneRecipe& recipe, double t);

// The material at `rate`: a fixed noise sequence, so every call gives the same samples.
std::vector<float> Synthesize(const ToneRecipe& recipe, int rate);

// Rounded and clipped to 16 bits.
std::vector<int16_t> ToPcm16(const std::vector<float>& samples);

// Cents from `truth` to `measured`.
double CentsOff(double measured, double truth);
