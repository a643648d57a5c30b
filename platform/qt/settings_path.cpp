// The settings file's place on a Linux desktop, after the XDG base-directory rules.
#include <cstdio>
#include <cstdlib>

#include "shell/host.h"

const char* SettingsFilePath() {
    static char path[4096];  // the caller reads it before the next call
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    int length = -1;
    // An XDG_CONFIG_HOME that is empty or relative is invalid and ignored, as the rules say.
    if (config != nullptr && config[0] == '/') {
        length = std::snprintf(path, sizeof path, "%s/Quillo-SA/setting.txt", config);
    } else if (home != nullptr && home[0] != '\0') {
        length = std::snprintf(path, sizeof path, "%s/.config/Quillo-SA/setting.txt", home);
    }
    if (length < 0 || length >= static_cast<int>(sizeof path)) return nullptr;
    return path;
}
