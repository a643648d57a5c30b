// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's pitch at about 22050 Hz.
#include "fullview/full_pitch.h"

#include <algorithm>
#include <cmath>

#include "analysis/accurate_pitch.h"
#include "views/readout.h"

namespace {

constexpr int kPitchRate = 22050;  // the accurate estimator's figures hold about this rate
constexpr int kPitchWindow = 1024;
constexpr int kPitchMaxLag = 512;
constexpr int kPitchRing = 4096;  // power of two, above kAccuratePitchMaxSegment

// The samples the pitch is estimated from, newest at writeIndex - 1.
struct FullPitchRecord {
    float ring[kPitchRing];
    int writeIndex;
    int factor;   // capture samples per pitch sample
    int pending;  // capture samples summed into `sum` so far
    float sum;
    float rate;  // Hz of the ring's samples
    float segment[kAccuratePitchMaxSegment];
};
FullPitchRecord FullPitch;

}  // namespace

void ConfigureFullPitch(int sampleRate) {
    FullPitch = {};
    FullPitch.factor = std::max(1, int(std::lround(double(sampleRate) / kPitchRate)));
    FullPitch.rate = float(sampleRate) / float(FullPitch.factor);
}

void TrackFullPitch(const int16_t* samples, int count) {
    FullPitchRecord& p = FullPitch;
    for (int i = 0; i < count; i++) {
        p.sum += float(samples[i]);
        if (++p.pending < p.factor) continue;
        p.ring[p.writeIndex] = p.sum / float(p.factor);
        p.writeIndex = (p.writeIndex + 1) & (kPitchRing - 1);
        p.sum = 0.0f;
        p.pending = 0;
    }
    const int length = kPitchWindow + kPitchMaxLag;
    for (int i = 0; i < length; i++)
        p.segment[i] = p.ring[(p.writeIndex - length + i) & (kPitchRing - 1)];
    const float seconds = float(count) / (p.rate * float(p.factor));  // at the capture rate
    TrackAccuratePitch(EstimateAccuratePitch(p.segment, kPitchWindow, kPitchMaxLag, p.rate),
                       seconds);
}

int FullPitchLockState() {
    const AccuratePitchTrackerRecord& t = AccuratePitchTracker;
    if (t.locked) return kPitchLocked;
    return t.missCount > 2 ? kPitchLost : kPitchNotLocked;
}
