// The pitch estimator choice and its file.
#include "shell/pitch_choice.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "analysis/accurate_pitch.h"
#include "shell/host.h"
#include "shell/settings.h"

PitchChoiceRecord PitchChoice = {};

namespace {

constexpr const char* kChoiceFileName = "pitch.txt";

}  // namespace

void ResetPitchChoice() {
    PitchChoice = {};
    ResetAccuratePitch();
}

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
    std::FILE* file = OpenRegularFile(PitchChoiceFilePath());
    if (file == nullptr) return;
    char word[16] = {};
    PitchEstimatorKind kind = PitchChoice.estimator;
    if (std::fscanf(file, "%15s", word) == 1 && ParsePitchEstimator(word, &kind)) {
        PitchChoice.estimator = kind;
    }
    std::fclose(file);
}

bool SavePitchChoice() {
    const char* path = PitchChoiceFilePath();
    if (path == nullptr) return true;
    char text[16];
    const int length =
        std::snprintf(text, sizeof text, "%s\n", PitchEstimatorName(PitchChoice.estimator));
    return ReplaceFile(path, text, length, true);
}
