// SPDX-License-Identifier: GPL-3.0-or-later
// File names as one-line messages show them.
#pragma once

#include <cstddef>
#include <string>

// The name with every control character escaped (\n, \t, \r, \e and \xHH for the rest, and
// a backslash doubled), so that no name can break a one-line message or drive a terminal.
// Other bytes, UTF-8 included, stay as they are. A null name reads "(no name)".
std::string PrintableFileName(const char* name);

// The program's folder after the XDG base-directory rules: $VARIABLE/Quillo-SA, else
// $HOME/`homeFallback`/Quillo-SA (a VARIABLE that is unset, empty or relative is ignored).
// False when neither gives one or it does not fit `size` bytes.
bool XdgProgramFolder(const char* variable, const char* homeFallback, char* path, size_t size);

// True when `folder` is a folder (not a symlink) that this user owns and that no one else may
// write in (with `othersMayRead` false, nor enter): a folder another user made first, or a
// link planted in its place, would let them aim the program's writes elsewhere.
bool IsOwnFolder(const char* folder, bool othersMayRead);
