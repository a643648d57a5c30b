// SPDX-License-Identifier: GPL-3.0-or-later
// The run mode that the window host, the dialogs and the single-instance rule read.
#include "platform/qt/qt_host.h"

namespace {

bool Headless = false;

}  // namespace

void SetHeadlessRun(bool headless) {
    Headless = headless;
}

bool IsHeadlessRun() {
    return Headless;
}
