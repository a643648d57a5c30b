// Files for the tests that run the real program: reading and writing whole files, and a
// generated recording of a tone with harmonics over a little noise, as a 16-bit mono WAV.
#pragma once

#include <string>
#include <vector>

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

// One partial of a tone: its multiple of the fundamental and its amplitude (16-bit units).
struct Partial {
    int harmonic;
    double amplitude;
};

// `seconds` of `hz` with these partials plus noise of `noiseAmplitude` (a fixed sequence,
// so the file is the same every time), at `rate`.
void WriteToneWav(const std::string& path, double hz, double seconds,
                  const std::vector<Partial>& partials, double noiseAmplitude, int rate = 22050);
