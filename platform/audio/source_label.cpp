// SPDX-License-Identifier: GPL-3.0-or-later
// Source labels.
#include "platform/audio/source_label.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kMonitorMark = " (monitor)";

// The '[' and ']' around the name of "description [name]" or "description [name] (monitor)";
// false for any other text.
bool FindBrackets(const char* label, const char** open, const char** close) {
    *open = std::strrchr(label, '[');
    *close = *open != nullptr ? std::strchr(*open, ']') : nullptr;
    return *open != nullptr && *open != label && (*open)[-1] == ' ' && *close != nullptr &&
           ((*close)[1] == '\0' || std::strcmp(*close + 1, kMonitorMark) == 0);
}

}  // namespace

void FormatSourceLabel(const char* description, const char* name, bool monitor, char* label,
                       size_t size) {
    if (size == 0) return;
    std::snprintf(label, size, "%s [%s]%s", description != nullptr ? description : "",
                  name != nullptr ? name : "", monitor ? kMonitorMark : "");
}

void SourceNameOfLabel(const char* label, char* name, size_t size) {
    if (size == 0) return;
    const char* text = label != nullptr ? label : "";
    const char* open = nullptr;
    const char* close = nullptr;
    if (!FindBrackets(text, &open, &close)) {
        std::snprintf(name, size, "%s", text);
        return;
    }
    std::snprintf(name, size, "%.*s", int(close - open - 1), open + 1);
}

std::string SourceDescriptionOfLabel(const char* label) {
    const char* text = label != nullptr ? label : "";
    const char* open = nullptr;
    const char* close = nullptr;
    if (!FindBrackets(text, &open, &close)) return text;
    return std::string(text, size_t(open - text) - 1);
}
