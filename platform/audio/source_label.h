// SPDX-License-Identifier: GPL-3.0-or-later
// How the program names a sound-server source in its lists and in the choices file:
// "description [name]", and " (monitor)" after it for the monitor of an output. A PortAudio
// device is named by its own name alone. Written here and read back here, nowhere else.
#pragma once

#include <cstddef>
#include <string>

// The label of a source; cut to `size` - 1 bytes.
void FormatSourceLabel(const char* description, const char* name, bool monitor, char* label,
                       size_t size);
// The name inside a label ("name" of "description [name]", with or without " (monitor)");
// any other text is a name as it stands.
void SourceNameOfLabel(const char* label, char* name, size_t size);
// What the window calls the input of a label: its description, else the whole label.
std::string SourceDescriptionOfLabel(const char* label);
