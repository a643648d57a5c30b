// SPDX-License-Identifier: GPL-3.0-or-later
// The reading under the pointer: what the view point under it stands for (views/
// cursor_reading.h), shown in the window's bar beside the buttons. Main thread only.
#pragma once

// After the QApplication exists, before the window is made; a headless run has none.
void EnablePointerReading();
