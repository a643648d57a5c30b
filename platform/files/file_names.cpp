#include "platform/files/file_names.h"

#include <cstdio>

std::string PrintableFileName(const char* name) {
    if (name == nullptr) return "(no name)";
    std::string out;
    for (const char* p = name; *p != '\0'; p++) {
        const unsigned char c = static_cast<unsigned char>(*p);
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case 0x1b: out += "\\e"; break;
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
