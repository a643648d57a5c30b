// The pitch estimator choice, its file, and the accurate estimator's readout.
#include "shell/pitch_choice.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "analysis/accurate_pitch.h"
#include "platform/platform.h"
#include "shell/pitch_log.h"
#include "shell/shell.h"
#include "views/readout.h"

PitchChoiceRecord PitchChoice = {};

namespace {

constexpr const char* kChoiceFileName = "pitch.txt";
// Blocks without a clear pitch after which the reading is lost, as the classic one is.
constexpr int kLostAfterMisses = 40;

float segment[kAccuratePitchMaxSegment];

// The newest `count` ring samples, oldest first.
void CutNewestSamples(int count) {
    const int16_t* ring = SampleRing.samples;
    const int start = SampleRing.writeIndex - count;
    for (int i = 0; i < count; ++i)
        segment[i] = static_cast<float>(ring[(start + i) & kRingMask]);
}

int AccurateLockState() {
    const AccuratePitchTrackerRecord& t = AccuratePitchTracker;
    if (t.locked) return kPitchLocked;
    return t.missCount > kLostAfterMisses ? kPitchLost : kPitchNotLocked;
}

}  // namespace

void SetPitchEstimator(PitchEstimatorKind kind) {
    if (kind == PitchEstimatorKind::kAccurate && PitchChoice.estimator != kind) {
        ResetAccuratePitch();
    }
    PitchChoice.estimator = kind;
    PitchChoice.given = true;
}

bool ParsePitchEstimator(const char* text, PitchEstimatorKind* kind) {
    for (PitchEstimatorKind k : {PitchEstimatorKind::kClassic, PitchEstimatorKind::kAccurate}) {
        if (std::strcmp(text, PitchEstimatorName(k)) == 0) {
            *kind = k;
            return true;
        }
    }
    return false;
}

const char* PitchEstimatorName(PitchEstimatorKind kind) {
    return kind == PitchEstimatorKind::kAccurate ? "accurate" : "classic";
}

const char* PitchChoiceFilePath() {
    static char path[4096];
    const char* settings = SettingsFilePath();
    if (settings == nullptr) return nullptr;
    const char* slash = std::strrchr(settings, '/');
    const int folder = slash == nullptr ? 0 : static_cast<int>(slash - settings) + 1;
    const int length =
        std::snprintf(path, sizeof path, "%.*s%s", folder, settings, kChoiceFileName);
    if (length < 0 || length >= static_cast<int>(sizeof path)) return nullptr;
    return path;
}

void LoadPitchChoice() {
    if (PitchChoice.given) return;
    const char* path = PitchChoiceFilePath();
    std::FILE* file = path != nullptr ? std::fopen(path, "r") : nullptr;
    if (file == nullptr) return;
    char word[16] = {};
    PitchEstimatorKind kind = PitchChoice.estimator;
    if (std::fscanf(file, "%15s", word) == 1 && ParsePitchEstimator(word, &kind)) {
        PitchChoice.estimator = kind;
    }
    std::fclose(file);
}

void SavePitchChoice() {
    const char* path = PitchChoiceFilePath();
    if (path == nullptr) return;
    char temporary[4096 + 8];
    const int length = std::snprintf(temporary, sizeof temporary, "%s.new", path);
    if (length < 0 || length >= static_cast<int>(sizeof temporary)) return;
    std::FILE* file = std::fopen(temporary, "w");
    if (file == nullptr) return;
    const bool written = std::fprintf(file, "%s\n", PitchEstimatorName(PitchChoice.estimator)) > 0;
    if (std::fclose(file) != 0 || !written || std::rename(temporary, path) != 0) {
        std::remove(temporary);
    }
}

void ShowAccuratePitch(double seconds) {
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    // The small device's 512-point frames halve the window with the rate: the same span of
    // time, 70 ms, at either rate.
    const int window = s.fftSize;
    const int maxLag = window / 2;
    CutNewestSamples(window + maxLag);
    TrackAccuratePitch(
        EstimateAccuratePitch(segment, window, maxLag, static_cast<float>(s.captureRate)));
    const float pitch = AccuratePitchTracker.pitch;
    const int lockState = AccurateLockState();
    if (pitch > 1.0f) DrawPeakReadout(pitch, lockState);
    LogPitchRow(seconds, pitch, lockState);
}
