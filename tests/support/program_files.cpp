// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/program_files.h"

extern char** environ;

#include <fcntl.h>
#include <spawn.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void WriteWav(const std::string& path, const std::vector<int16_t>& samples, int rate) {
    auto le32 = [](uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    auto le16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    const auto bytes = static_cast<uint32_t>(samples.size() * 2);
    const auto r = static_cast<uint32_t>(rate);
    std::string wav = "RIFF" + le32(36 + bytes) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
                      le32(r) + le32(r * 2) + le16(2) + le16(16) + "data" + le32(bytes);
    wav.append(reinterpret_cast<const char*>(samples.data()), bytes);
    WriteFile(path, wav);
}

void WriteToneWav(const std::string& path, double hz, double seconds,
                  const std::vector<Partial>& partials, double noiseAmplitude, int rate) {
    const auto frames = static_cast<uint32_t>(seconds * rate);
    std::vector<int16_t> samples(frames);
    uint32_t noise = 12345;
    for (uint32_t i = 0; i < frames; ++i) {
        const double phase = 2.0 * 3.141592653589793 * hz * i / rate;
        noise = noise * 1103515245u + 12345u;
        double v = (static_cast<int>(noise >> 16 & 0x7FFF) - 16384) / 16384.0 * noiseAmplitude;
        for (const Partial& p : partials)
            v += p.amplitude * std::sin(p.harmonic * phase);
        samples[i] = static_cast<int16_t>(std::lround(v));
    }
    WriteWav(path, samples, rate);
}

pid_t StartProcess(const std::vector<std::string>& args,
                   const std::vector<EnvironmentOverride>& overrides, const std::string& outPath,
                   const std::string& errPath) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& [key, value] : overrides)
            replaced = replaced || key == name;
        if (!replaced) env.push_back(entry);
    }
    for (const auto& [key, value] : overrides) {
        if (!value.empty()) env.push_back(key + "=" + value);
    }
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed != 0 ? 0 : pid;
}
