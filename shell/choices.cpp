// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own choices and their file.
#include "shell/choices.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "shell/host.h"
#include "shell/settings.h"

ChoicesRecord Choices = {};

namespace {

constexpr const char* kFileName = "choices.txt";
constexpr int kPathSize = 4096;

struct ChoiceRow {
    const char* key;         // as written in choices.txt
    const char* formerFile;  // the file that held this choice alone before; null if none
};
// One row per ChoiceKey, in its order.
constexpr ChoiceRow kChoiceRows[kChoiceKeyCount] = {
    {"pitch_estimator", "pitch.txt"}, {"microphone", "input.txt"},  {"picture_mode", nullptr},
    {"full_rate", nullptr},           {"full_fft_size", nullptr},   {"full_window", nullptr},
    {"full_overlap", nullptr},        {"full_averaging", nullptr},  {"full_peak_hold", nullptr},
    {"full_history", nullptr},        {"full_colour_map", nullptr}, {"full_axis", nullptr},
    {"full_fill", nullptr},           {"full_db_min", nullptr},     {"full_db_max", nullptr},
    {"reference_pitch", nullptr},     {"full_tuner", nullptr},
};

// `name` in the settings file's folder, written into `path`; false when there is none.
bool PathBesideSettings(const char* name, char* path, int size) {
    const char* settings = SettingsFilePath();
    if (settings == nullptr) return false;
    const char* slash = std::strrchr(settings, '/');
    const int folder = slash == nullptr ? 0 : static_cast<int>(slash - settings) + 1;
    const int length = std::snprintf(path, size, "%.*s%s", folder, settings, name);
    return length >= 0 && length < size;
}

// Cuts white space from both ends, in place.
char* Trim(char* text) {
    while (std::isspace(static_cast<unsigned char>(*text)))
        text++;
    size_t length = std::strlen(text);
    while (length > 0 && std::isspace(static_cast<unsigned char>(text[length - 1])))
        text[--length] = '\0';
    return text;
}

bool IsKey(const char* text) {
    if (*text == '\0') return false;
    for (; *text != '\0'; text++) {
        const unsigned char c = static_cast<unsigned char>(*text);
        if (!std::isalnum(c) && c != '_' && c != '-' && c != '.') return false;
    }
    return true;
}

int FindKey(const char* key) {
    for (int k = 0; k < kChoiceKeyCount; k++) {
        if (std::strcmp(kChoiceRows[k].key, key) == 0) return k;
    }
    return -1;
}

void IgnoreLine(int number, const char* why) {
    std::fprintf(stderr, "quillo-sa: %s line %d %s; it is ignored\n", kFileName, number, why);
}

// One line of choices.txt (without its line break): a known key's value is stored, an
// unknown key's line kept; anything else is told and ignored. Blank lines are skipped.
void ReadLine(char* line, int number) {
    char* text = Trim(line);
    if (*text == '\0') return;
    char* equals = std::strchr(text, '=');
    if (equals == nullptr) return IgnoreLine(number, "is not \"key = value\"");
    *equals = '\0';
    const char* key = Trim(text);
    const char* value = Trim(equals + 1);
    if (!IsKey(key)) return IgnoreLine(number, "has no key before its '='");
    const int known = FindKey(key);
    if (known >= 0) {
        if (!SetChoice(static_cast<ChoiceKey>(known), value)) IgnoreLine(number, "is too long");
        return;
    }
    if (Choices.unknownCount == kMostUnknownChoices) return IgnoreLine(number, "is one too many");
    std::snprintf(Choices.unknown[Choices.unknownCount++], kChoiceLineSize, "%s = %s", key, value);
}

void ReadChoicesFile(std::FILE* file) {
    char line[kChoiceLineSize];
    int number = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        number++;
        const size_t length = std::strlen(line);
        if (length == sizeof line - 1 && line[length - 1] != '\n' && !std::feof(file)) {
            int c;
            while ((c = std::fgetc(file)) != EOF && c != '\n') {
            }
            IgnoreLine(number, "is too long");
            continue;
        }
        ReadLine(line, number);
    }
}

// The files that each held one choice: their first line, when it is a valid value.
void ReadFormerFiles() {
    for (int k = 0; k < kChoiceKeyCount; k++) {
        char path[kPathSize];
        if (kChoiceRows[k].formerFile == nullptr ||
            !PathBesideSettings(kChoiceRows[k].formerFile, path, static_cast<int>(sizeof path))) {
            continue;
        }
        std::FILE* file = OpenRegularFile(path);
        if (file == nullptr) continue;
        char line[kChoiceValueSize];
        if (std::fgets(line, sizeof line, file) != nullptr) {
            SetChoice(static_cast<ChoiceKey>(k), Trim(line));
        }
        std::fclose(file);
    }
}

// Reads the file once (see choices.h).
void LoadChoices() {
    if (Choices.loaded) return;
    Choices.loaded = true;
    const char* path = ChoicesFilePath();
    if (path == nullptr) return;
    std::error_code error;
    if (std::filesystem::symlink_status(path, error).type() ==
        std::filesystem::file_type::not_found) {
        ReadFormerFiles();
        return;
    }
    std::FILE* file = OpenRegularFile(path);
    if (file == nullptr) return;
    ReadChoicesFile(file);
    std::fclose(file);
}

}  // namespace

const char* ChoicesFilePath() {
    static char path[kPathSize];
    return PathBesideSettings(kFileName, path, static_cast<int>(sizeof path)) ? path : nullptr;
}

const char* GetChoice(ChoiceKey key) {
    LoadChoices();
    return Choices.values[key];
}

bool SetChoice(ChoiceKey key, const char* value) {
    if (value == nullptr || std::strlen(value) >= kChoiceValueSize ||
        std::strpbrk(value, "\r\n") != nullptr) {
        return false;
    }
    LoadChoices();
    std::snprintf(Choices.values[key], kChoiceValueSize, "%s", value);
    return true;
}

bool SaveChoices() {
    const char* path = ChoicesFilePath();
    if (path == nullptr) return true;
    LoadChoices();
    static char text[kChoiceKeyCount * (kChoiceValueSize + 32) +
                     kMostUnknownChoices * (kChoiceLineSize + 1)];
    int length = 0;
    for (int k = 0; k < kChoiceKeyCount; k++) {
        if (Choices.values[k][0] == '\0') continue;
        length += std::snprintf(text + length, sizeof text - length, "%s = %s\n",
                                kChoiceRows[k].key, Choices.values[k]);
    }
    for (int i = 0; i < Choices.unknownCount; i++)
        length += std::snprintf(text + length, sizeof text - length, "%s\n", Choices.unknown[i]);
    return ReplaceFile(path, text, length, true);
}

void ResetChoices() {
    Choices = {};
}
