// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file's place on a Linux desktop, after the XDG base-directory rules.
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files/file_names.h"
#include "shell/host.h"

namespace {

size_t LengthOf(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr ? std::strlen(value) : 0;
}

}  // namespace

// Sized for whatever the variables hold: a path too long for the system must fail where the
// file is read and saved (and say so), not pass for a host without a settings file.
const char* SettingsFilePath() {
    static std::string path;  // the caller reads it before the next call
    constexpr char kName[] = "/setting.txt";
    constexpr size_t kRoom = 64;  // for "/.config/Quillo-SA", the name and the terminator
    path.assign(LengthOf("XDG_CONFIG_HOME") + LengthOf("HOME") + kRoom, '\0');
    if (!XdgProgramFolder("XDG_CONFIG_HOME", ".config", path.data(),
                          path.size() - (sizeof kName - 1))) {
        return nullptr;
    }
    path.resize(std::strlen(path.c_str()));
    path += kName;
    return path.c_str();
}
