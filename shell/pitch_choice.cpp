// The pitch estimator choice and its file.
#include "shell/pitch_choice.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "analysis/accurate_pitch.h"
#include "shell/host.h"

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
