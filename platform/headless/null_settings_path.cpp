// SPDX-License-Identifier: GPL-3.0-or-later
// The null platform's settings file: there is none, so the defaults apply and nothing is
// saved. Kept apart from the window operations: an archive member is linked only when it
// is needed, so a program with its own SettingsFilePath takes the rest of the null platform.
#include "shell/host.h"

const char* SettingsFilePath() {
    return nullptr;
}
