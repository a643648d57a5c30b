// SPDX-License-Identifier: GPL-3.0-or-later
// The file dialog's patterns from libsndfile's own list of major formats.
#include "platform/audio/audio_file_formats.h"

#include <sndfile.h>

#include <cstdio>
#include <cstring>

namespace {

// Extensions that files of a format commonly carry beside the one libsndfile gives.
struct Alias {
    const char* extension;
    const char* alias;
};
constexpr Alias kAliases[] = {{"aiff", "aif"}, {"oga", "ogg"}, {"oga", "opus"}};

// Appends " *.extension" unless `text` holds it already; false when it does not fit.
bool AddPattern(char* text, size_t size, const char* extension) {
    char pattern[32];
    const int n = std::snprintf(pattern, sizeof pattern, "*.%s", extension);
    if (n < 0 || size_t(n) >= sizeof pattern) return true;  // no extension is that long
    for (const char* at = std::strstr(text, pattern); at != nullptr;
         at = std::strstr(at + 1, pattern)) {
        const char end = at[n];
        if ((at == text || at[-1] == ' ') && (end == ' ' || end == '\0')) return true;
    }
    const size_t used = std::strlen(text);
    const int added = std::snprintf(text + used, size - used, "%s%s", used > 0 ? " " : "", pattern);
    return added >= 0 && used + size_t(added) < size;
}

}  // namespace

bool AudioFilePatterns(char* text, size_t size) {
    if (text == nullptr || size == 0) return false;
    text[0] = '\0';
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    bool fits = true;
    for (int i = 0; i < count && fits; i++) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) != 0 ||
            info.extension == nullptr || info.extension[0] == '\0') {
            continue;
        }
        fits = AddPattern(text, size, info.extension);
        for (const Alias& alias : kAliases) {
            if (fits && std::strcmp(alias.extension, info.extension) == 0) {
                fits = AddPattern(text, size, alias.alias);
            }
        }
    }
    if (!fits || text[0] == '\0') {
        text[0] = '\0';
        return false;
    }
    return true;
}
