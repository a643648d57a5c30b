#include "tests/support/program_files.h"

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
    auto le32 = [](uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    auto le16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    const uint32_t bytes = frames * 2;
    const auto r = static_cast<uint32_t>(rate);
    std::string wav = "RIFF" + le32(36 + bytes) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
                      le32(r) + le32(r * 2) + le16(2) + le16(16) + "data" + le32(bytes);
    wav.append(reinterpret_cast<const char*>(samples.data()), bytes);
    WriteFile(path, wav);
}
