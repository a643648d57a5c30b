// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz/fuzz_input.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fault(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz input: %s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

const std::string& InputPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string name = std::string(dir != nullptr ? dir : "/tmp") + "/quillo_fuzz_XXXXXX";
        const int fd = mkstemp(name.data());
        if (fd < 0) Fault("no temporary file", name);
        close(fd);
        static std::string removed;
        removed = name;
        std::atexit([] { std::remove(removed.c_str()); });
        return name;
    }();
    return path;
}

void WriteInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(InputPath().c_str(), "wb");
    if (file == nullptr) Fault("cannot write", InputPath());
    if (size > 0 && std::fwrite(data, 1, size, file) != size) Fault("short write", InputPath());
    std::fclose(file);
}
