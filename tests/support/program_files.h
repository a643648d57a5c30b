// SPDX-License-Identifier: GPL-3.0-or-later
// Support for the tests that run the real program: starting a process with its output in
// files, reading and writing whole files, and a generated recording of a tone with harmonics
// over a little noise, as a 16-bit mono WAV.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

// `samples` as a 16-bit mono WAV at `rate`.
void WriteWav(const std::string& path, const std::vector<int16_t>& samples, int rate);

// One partial of a tone: its multiple of the fundamental and its amplitude (16-bit units).
struct Partial {
    int harmonic;
    double amplitude;
};

// `seconds` of `hz` with these partials plus noise of `noiseAmplitude` (a fixed sequence,
// so the file is the same every time), at `rate`.
void WriteToneWav(const std::string& path, double hz, double seconds,
                  const std::vector<Partial>& partials, double noiseAmplitude, int rate = 22050);

// A variable of the started process's environment: replaces the inherited one; an empty
// value removes it.
using EnvironmentOverride = std::pair<std::string, std::string>;

// Starts args[0] (a path, or a name looked up in PATH) with no input, standard output and
// error in the two files, and the inherited environment with `overrides`. 0 when it cannot
// be started.
pid_t StartProcess(const std::vector<std::string>& args,
                   const std::vector<EnvironmentOverride>& overrides, const std::string& outPath,
                   const std::string& errPath);
