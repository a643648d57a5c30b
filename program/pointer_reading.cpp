// SPDX-License-Identifier: GPL-3.0-or-later
// The reading under the pointer, handed to the window's extras.
#include "program/pointer_reading.h"

#include "platform/qt/qt_host.h"
#include "platform/qt/window_extras.h"
#include "shell/settings.h"
#include "views/cursor_reading.h"

namespace {

bool ReadPoint(int x, int y, char* text, int capacity) {
    ViewReading reading{};
    if (!ReadViewPoint(x, y, ViewMode, &reading)) return false;
    return FormatViewReading(reading, ViewMode, text, capacity) > 0;
}

}  // namespace

void EnablePointerReading() {
    if (!IsHeadlessRun()) SetViewPointReader(ReadPoint);
}
