// The settings file's place on a Linux desktop, after the XDG base-directory rules.
#include <cstring>

#include "platform/files/file_names.h"
#include "shell/host.h"

const char* SettingsFilePath() {
    static char path[4096];  // the caller reads it before the next call
    constexpr char kName[] = "/setting.txt";
    if (!XdgProgramFolder("XDG_CONFIG_HOME", ".config", path, sizeof path - (sizeof kName - 1))) {
        return nullptr;
    }
    std::strcat(path, kName);
    return path;
}
