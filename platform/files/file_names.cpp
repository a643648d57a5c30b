// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/file_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

std::string PrintableFileName(const char* name) {
    if (name == nullptr) return "(no name)";
    std::string out;
    for (const char* p = name; *p != '\0'; p++) {
        const unsigned char c = static_cast<unsigned char>(*p);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case 0x1b:
                out += "\\e";
                break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char escaped[5];
                    std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

bool XdgProgramFolder(const char* variable, const char* homeFallback, char* path, size_t size) {
    const char* base = std::getenv(variable);
    const char* home = std::getenv("HOME");
    int length = -1;
    if (base != nullptr && base[0] == '/') {
        length = std::snprintf(path, size, "%s/Quillo-SA", base);
    } else if (home != nullptr && home[0] != '\0') {
        length = std::snprintf(path, size, "%s/%s/Quillo-SA", home, homeFallback);
    }
    return length >= 0 && static_cast<size_t>(length) < size;
}

bool IsOwnFolder(const char* folder, bool othersMayRead) {
    struct stat info {};
    return lstat(folder, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
           (info.st_mode & (othersMayRead ? 022 : 077)) == 0;
}
