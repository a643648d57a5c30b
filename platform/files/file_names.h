// File names as one-line messages show them.
#pragma once

#include <string>

// The name with every control character escaped (\n, \t, \r, \e and \xHH for the rest, and
// a backslash doubled), so that no name can break a one-line message or drive a terminal.
// Other bytes, UTF-8 included, stay as they are. A null name reads "(no name)".
std::string PrintableFileName(const char* name);
