// SPDX-License-Identifier: GPL-3.0-or-later
// The accurate pitch estimator.
//
// For lag t the normalised square difference of the segment x (mean removed) is
//   n(t) = 2 r(t) / m(t),  r(t) = sum x[j] x[j+t],  m(t) = sum x[j]^2 + x[j+t]^2,
// summed over j < windowLength: 1 where the signal repeats after t samples exactly, about 0
// for noise, whatever the level. Every lag sums over the same number of terms, so the
// function does not sag towards long lags and a low note is not judged worse than a high one.
//
// The period is the first lobe maximum within a small margin of the highest one: the
// highest may be a multiple of the period (a slightly irregular signal repeats almost as
// well after two periods), and a shorter lobe that is nearly as good is the true period.
//
// The products r(t) come through transforms (lag_products.h), the energy terms m(t) from
// prefix sums of squares, so a segment costs O(n log n) rather than window x lags.
#include "analysis/accurate_pitch.h"

#include <cmath>

#include "analysis/lag_products.h"
#include "raster/vector_loops.h"

float AccuratePitchNsdf[kAccuratePitchMaxLag + 1];
AccuratePitchTrackerRecord AccuratePitchTracker = {};

namespace {

constexpr float kHighestFrequency = 2200.0f;  // Hz: the shortest period searched
// A lobe within this share of the best one is taken as the period.
constexpr float kFirstLobeShare = 0.9f;
// Mean square below which a segment is silence: -70 dBFS in 16-bit units.
constexpr double kSilentMeanSquare = 32768.0 * 32768.0 * 1e-7;
constexpr float kLockCents = 60.0f;
constexpr int kMaxLobes = 128;
// The low-pass in front: a fourth-order Butterworth at this share of the sample rate, two
// sections with these Qs.
constexpr double kLowPassShare = 0.28;
constexpr double kSectionQ[2] = {0.5411961, 1.3065630};
// Multiples of the period whose lobes refine it: each within this share of its expected
// lag, and at least this share of the period's own height.
constexpr float kMultipleReach = 0.125f;
constexpr float kMultipleShare = 0.8f;

static_assert(kAccuratePitchMaxLag <= kLagProductsMaxLag);

float centred[kAccuratePitchMaxSegment];
double squareSums[kAccuratePitchMaxSegment + 1];  // squareSums[i]: sum of centred[0 .. i-1]^2
float lagProducts[kAccuratePitchMaxLag + 1];

// A lobe's maximum between lags, from the parabola through its highest entry and the two
// beside it: a short period falls between lags, and the entries there can lie well below
// the repeat they sample.
struct Lobe {
    float lag;
    float value;
};
Lobe lobes[kMaxLobes];

// One biquad section: y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2.
struct Section {
    double b0, b1, b2, a1, a2;
};
Section lowPass[2];
float lowPassRate = 0.0f;  // the rate the sections were designed for

void DesignLowPass(float sampleRate) {
    if (lowPassRate == sampleRate) return;
    const double w = 2.0 * 3.141592653589793 * kLowPassShare;
    for (int k = 0; k < 2; ++k) {
        const double alpha = std::sin(w) / (2.0 * kSectionQ[k]);
        const double a0 = 1.0 + alpha;
        const double c = std::cos(w);
        lowPass[k] = {(1.0 - c) / 2.0 / a0, (1.0 - c) / a0, (1.0 - c) / 2.0 / a0, -2.0 * c / a0,
                      (1.0 - alpha) / a0};
    }
    lowPassRate = sampleRate;
}

// Samples after which the low-pass has forgotten its state to double precision: its slower
// poles lie 0.673 from the origin, and 0.673^160 is 3e-28.
constexpr int kLowPassMemory = 160;

// The low-pass's recursion is a chain of dependent steps, so it runs as two lanes side by
// side in one register pair: the early lane from the start to `split`, the late lane from
// kLowPassMemory samples before `split` to the end, starting at rest as the whole segment
// does; by `split` the late lane's output is what the early lane's would have been.
using LanePair = double __attribute__((vector_size(16)));
// The cascade's history: the second section's inputs are the first's outputs, so its input
// history is y1, y2.
struct LowPassState {
    LanePair x1, x2;  // the first section's last two inputs
    LanePair y1, y2;  // its last two outputs
    LanePair w1, w2;  // the second section's last two outputs
};
// One step of both sections. The previous output's feedback is subtracted last: the chain
// from one output to the next is then one multiplication and one subtraction.
inline LanePair StepLowPass(LowPassState& s, LanePair x) {
    const Section& f = lowPass[0];
    const Section& g = lowPass[1];
    const LanePair y = (f.b0 * x + f.b1 * s.x1 + f.b2 * s.x2 - f.a2 * s.y2) - f.a1 * s.y1;
    const LanePair w = (g.b0 * y + g.b1 * s.y1 + g.b2 * s.y2 - g.a2 * s.w2) - g.a1 * s.w1;
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = y;
    s.w2 = s.w1;
    s.w1 = w;
    return w;
}

// Copies the segment, low-passed and without its mean; false when it is silent. The
// low-pass takes the partials near the top of the band, whose sharp correlation peaks fall
// between lags, and much of the noise, which lies mostly above the tones.
QUILLO_VECTOR_LOOP bool PrepareSegment(const float* segment, int length, float sampleRate) {
    // Four running sums, so that the additions overlap.
    double sums[4] = {};
    int i = 0;
    for (; i + 4 <= length; i += 4) {
        for (int k = 0; k < 4; ++k)
            sums[k] += segment[i + k];
    }
    for (; i < length; ++i)
        sums[0] += segment[i];
    const double mean = ((sums[0] + sums[1]) + (sums[2] + sums[3])) / length;
    DesignLowPass(sampleRate);

    const int split =
        (length + kLowPassMemory + 1) / 2 < length ? (length + kLowPassMemory + 1) / 2 : length;
    const int lateStart = split - kLowPassMemory > 0 ? split - kLowPassMemory : 0;
    // The steps whose late sample lies before `split` (the late lane still forgetting its
    // start), those whose late sample is kept, and those past the segment's end.
    const int keptFrom = split - lateStart < split ? split - lateStart : split;
    const int keptTo = length - lateStart < split ? length - lateStart : split;
    LowPassState state = {};
    double earlySum = 0.0;
    LanePair keptSums = {0.0, 0.0};  // of both lanes' kept outputs
    int n = 0;
    for (; n < keptFrom; ++n) {
        const LanePair v =
            StepLowPass(state, LanePair{segment[n] - mean, segment[lateStart + n] - mean});
        centred[n] = float(v[0]);
        earlySum += v[0];
    }
    keptSums[0] = earlySum;
    for (; n < keptTo; ++n) {
        const int late = lateStart + n;
        const LanePair v = StepLowPass(state, LanePair{segment[n] - mean, segment[late] - mean});
        centred[n] = float(v[0]);
        centred[late] = float(v[1]);
        keptSums += v;
    }
    earlySum = keptSums[0];
    for (; n < split; ++n) {
        const LanePair v = StepLowPass(state, LanePair{segment[n] - mean, 0.0});
        centred[n] = float(v[0]);
        earlySum += v[0];
    }
    const double lateSum = keptSums[1];
    const float filteredMean = float((earlySum + lateSum) / length);

    for (i = 0; i < length; ++i)
        centred[i] -= filteredMean;
    // The sums of squares as two chains, over either half (the length, three lag ranges, is
    // even), the second from 0 and moved up after. The running sums are held in locals:
    // read back from the array, each addition would wait for the store before it.
    const int half = length / 2;
    squareSums[0] = 0.0;
    double lower = 0.0;
    double upper = 0.0;
    for (i = 0; i < half; ++i) {
        const double a = centred[i];
        const double b = centred[half + i];
        lower += a * a;
        upper += b * b;
        squareSums[i + 1] = lower;
        squareSums[half + i + 1] = upper;
    }
    const double base = squareSums[half];
    for (i = half + 1; i <= length; ++i)
        squareSums[i] += base;
    return squareSums[length] / length >= kSilentMeanSquare;
}

void ComputeNsdf(int windowLength, int maxLag) {
    const double head = squareSums[windowLength];
    for (int t = 0; t <= maxLag; ++t) {
        const double m = head + (squareSums[t + windowLength] - squareSums[t]);
        AccuratePitchNsdf[t] = m > 0.0 ? float(2.0 * double(lagProducts[t]) / m) : 0.0f;
    }
}

// Vertex of the parabola through the entries around `lag`: its fractional lag and height.
void RefinePeak(int lag, float* where, float* height) {
    const float* n = AccuratePitchNsdf;
    const double a = n[lag - 1], b = n[lag], c = n[lag + 1];
    const double curvature = a - 2.0 * b + c;
    double shift = 0.0;
    if (curvature < 0.0) shift = 0.5 * (a - c) / curvature;
    if (shift > 0.5) shift = 0.5;
    if (shift < -0.5) shift = -0.5;
    *where = float(lag + shift);
    *height = float(b - 0.25 * (a - c) * shift);
}

// The highest entry of every positive lobe, with lags from minLag to maxLag - 1 (so that
// each has two neighbours). The lobe around lag 0 ends where the function first turns up
// again: a tone whose harmonics keep it above 0 up to the period has no zero crossing there.
// Returns the lobe count.
int FindLobes(int minLag, int maxLag) {
    const float* n = AccuratePitchNsdf;
    int t = 1;
    while (t < maxLag && n[t] > 0.0f && n[t + 1] < n[t])
        ++t;
    int count = 0;
    while (t < maxLag && count < kMaxLobes) {
        while (t < maxLag && n[t] <= 0.0f)
            ++t;
        // The best value kept beside its lag, so that each comparison waits on no load.
        int best = t;
        float bestValue = n[t];
        while (t < maxLag && n[t] > 0.0f) {
            if (n[t] > bestValue) {
                best = t;
                bestValue = n[t];
            }
            ++t;
        }
        // A lobe still rising at the end of the search has no maximum inside it.
        if (best >= minLag && best < maxLag && n[best] > 0.0f && n[best + 1] <= n[best]) {
            Lobe& lobe = lobes[count++];
            RefinePeak(best, &lobe.lag, &lobe.value);
        }
    }
    return count;
}

// The period from its lobe and the lobes at its multiples, by least squares through the
// origin: a lobe k periods away pins the period k times more finely, which in noise is
// worth most.
float RefineByMultiples(const Lobe& first, int maxLag) {
    const float* n = AccuratePitchNsdf;
    double weighted = first.lag;  // sum of k * lag_k
    double squares = 1.0;         // sum of k^2
    float period = first.lag;
    for (int k = 2;; ++k) {
        const float expected = period * float(k);
        const int reach = int(period * kMultipleReach) + 1;
        const int low = int(expected) - reach;
        const int high = int(expected) + reach + 1;
        if (low < 1 || high >= maxLag) break;
        int top = low;
        float topValue = n[low];
        for (int t = low + 1; t <= high; ++t) {
            if (n[t] > topValue) {
                top = t;
                topValue = n[t];
            }
        }
        if (top == low || top == high || n[top] < kMultipleShare * first.value) break;
        float lag = 0.0f;
        float height = 0.0f;
        RefinePeak(top, &lag, &height);
        weighted += double(k) * lag;
        squares += double(k) * k;
        period = float(weighted / squares);
    }
    return period;
}

float CentsBetween(float a, float b) {
    return float(1200.0 * std::log2(double(a) / double(b)));
}

// Follows the run with an estimate `seconds` after the previous one (frequency 0: none
// clear) and tells whether it joined. One stray estimate, off by an octave or unclear, is
// passed over; the second in a row ends the run, and a clear one starts the next.
bool FollowRun(float frequency, float seconds) {
    AccuratePitchTrackerRecord& t = AccuratePitchTracker;
    for (int i = 0; i < t.runCount; ++i)
        t.runAges[i] += seconds;
    t.runSeconds = std::fmin(t.runSeconds + seconds, kHeldNoteSeconds);
    const bool joins =
        frequency > 0.0f && t.runCount > 0 &&
        std::fabs(1200.0 * (std::log2(double(frequency)) - t.runOctaves[t.runNewest])) < kLockCents;
    if (!joins && t.runCount > 0 && t.runStrays == 0) {
        t.runStrays = 1;
        return false;
    }
    if (!joins) {  // the next estimate starts the ring afresh at index 0
        t.runCount = 0;
        t.runNewest = kAccuratePitchRunMax - 1;
        t.runSeconds = 0.0f;
    }
    t.runStrays = 0;
    if (frequency <= 0.0f) return false;
    t.runNewest = (t.runNewest + 1) % kAccuratePitchRunMax;
    t.runOctaves[t.runNewest] = std::log2(double(frequency));
    t.runAges[t.runNewest] = 0.0f;
    if (t.runCount < kAccuratePitchRunMax) t.runCount += 1;
    return true;
}

// The run's centre over the last kHeldNoteSeconds in Hz, or 0 while the run is shorter or
// its estimates scatter too widely for a held note. The shallow vibrato of a bowed, blown
// or sung note swings a 70 ms window's estimate to and fro about the note, which is what a
// tuner wants to read; a deep vibrato or a glide is a pitch that moves, and is followed.
float HeldNoteCentre() {
    const AccuratePitchTrackerRecord& t = AccuratePitchTracker;
    if (t.runSeconds < kHeldNoteSeconds) return 0.0f;
    double sum = 0.0;
    int count = 0;
    for (int i = 0; i < t.runCount; ++i) {
        if (t.runAges[i] > kHeldNoteSeconds) continue;
        sum += t.runOctaves[i];
        count += 1;
    }
    const double mean = sum / count;
    double squares = 0.0;
    for (int i = 0; i < t.runCount; ++i) {
        if (t.runAges[i] > kHeldNoteSeconds) continue;
        const double cents = 1200.0 * (t.runOctaves[i] - mean);
        squares += cents * cents;
    }
    if (squares > double(kHeldNoteCents) * kHeldNoteCents * count) return 0.0f;
    return float(std::exp2(mean));
}

}  // namespace

PitchCandidate EstimateAccuratePitch(const float* segment, int windowLength, int maxLag,
                                     float sampleRate) {
    const PitchCandidate none = {0.0f, 0.0f};
    if (windowLength != 2 * maxLag || maxLag < 4 || maxLag > kAccuratePitchMaxLag ||
        (maxLag & (maxLag - 1)) != 0 || !(sampleRate > 0.0f)) {
        return none;
    }
    if (!PrepareSegment(segment, windowLength + maxLag, sampleRate)) return none;
    ComputeLagProducts(centred, maxLag, lagProducts);
    ComputeNsdf(windowLength, maxLag);

    int minLag = int(sampleRate / kHighestFrequency);
    if (minLag < 2) minLag = 2;
    const int count = FindLobes(minLag, maxLag);
    if (count == 0) return none;
    float best = 0.0f;
    for (int i = 0; i < count; ++i) {
        if (lobes[i].value > best) best = lobes[i].value;
    }
    for (int i = 0; i < count; ++i) {
        if (lobes[i].value < kFirstLobeShare * best) continue;
        const float period = RefineByMultiples(lobes[i], maxLag);
        return {sampleRate / period, lobes[i].value > 1.0f ? 1.0f : lobes[i].value};
    }
    return none;
}

void TrackAccuratePitch(PitchCandidate estimate, float seconds) {
    AccuratePitchTrackerRecord& t = AccuratePitchTracker;
    if (!(seconds >= 0.0f && seconds < 3600.0f)) seconds = 0.0f;
    const bool clear = estimate.frequency > 0.0f && estimate.clarity >= kClearPitchClarity;
    if (!clear) {
        t.locked = false;
        t.lastClear = 0.0f;
        t.agreeing = 0;
        FollowRun(0.0f, seconds);
        if (t.missCount < 1 << 30) t.missCount += 1;
        return;
    }
    const bool agrees =
        t.lastClear > 0.0f && std::fabs(CentsBetween(estimate.frequency, t.lastClear)) < kLockCents;
    t.agreeing = agrees ? (t.agreeing < 2 ? t.agreeing + 1 : 2) : 0;
    // Coloured noise now and then repeats a lag by chance: a middling clarity needs the
    // period twice confirmed, a high one once, a near-perfect repeat not at all.
    t.locked = estimate.clarity >= kSureLockClarity ||
               (estimate.clarity >= kConfirmedLockClarity && t.agreeing >= 1) || t.agreeing >= 2;
    const float centre = FollowRun(estimate.frequency, seconds) ? HeldNoteCentre() : 0.0f;
    t.pitch = centre > 0.0f ? centre : estimate.frequency;
    t.lastClear = estimate.frequency;
    t.missCount = 0;
}

void ResetAccuratePitch() {
    AccuratePitchTracker = {};
}
