// SPDX-License-Identifier: GPL-3.0-or-later
// Pitch accuracy on generated material: the classic and the accurate estimator run through
// the whole core (the block pipeline on the in-memory display, pitch log to standard
// output), scored against the true pitch beside any other tool's "time hz" lines.
//
//   quillo_pitch_accuracy list                 cases: name, group, source (tool or sox:...)
//   quillo_pitch_accuracy make NAME > x.raw    the case's samples, 16-bit mono 22050 Hz
//   quillo_pitch_accuracy midi NAME > x.mid    a FluidSynth case's note as a MIDI file
//   quillo_pitch_accuracy log classic|accurate < x.raw   the program's pitch log
//   quillo_pitch_accuracy score NAME METHOD < log        one result line
//   quillo_pitch_accuracy table < results                the table by group and method
//
// bench/pitch_accuracy.sh runs them all, with aubiopitch's methods alongside.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "platform/headless/display_memory.h"
#include "raster/display.h"
#include "shell/pipeline.h"
#include "shell/pitch_choice.h"
#include "shell/pitch_log.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "tests/support/pitch_material.h"

namespace {

constexpr int kRate = 22050;
constexpr int kBlock = 1024;
constexpr double kOnset = 0.3;   // silence before every tone
constexpr double kSettle = 0.5;  // seconds into a note before frames are judged

struct Case {
    std::string name;
    std::string group;
    std::string source;  // "tool", "sox:WAVE:HZ": sox's own synthesis, or
                         // "fluid:PROGRAM:NOTE": a General MIDI note rendered by FluidSynth
    ToneRecipe recipe;
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    const struct {
        Timbre timbre;
        const char* name;
    } timbres[] = {{Timbre::kSine, "sine"},
                   {Timbre::kSquare, "square"},
                   {Timbre::kTriangle, "triangle"},
                   {Timbre::kSawtooth, "sawtooth"},
                   {Timbre::kWeakFundamental, "weakfund"},
                   {Timbre::kOddOnly, "oddonly"},
                   {Timbre::kMissingFundamental, "missingfund"},
                   {Timbre::kPiano, "piano"},
                   {Timbre::kBrass, "brass"}};
    auto tone = [](Timbre timbre, double hz, double seconds) {
        ToneRecipe recipe;
        recipe.timbre = timbre;
        recipe.startHz = recipe.endHz = hz;
        recipe.seconds = seconds;
        recipe.onsetSeconds = kOnset;
        return recipe;
    };
    char name[96];
    for (const auto& t : timbres) {
        for (int semitone = 0; semitone <= 36; semitone += 3) {
            const double hz = 110.0 * std::pow(2.0, semitone / 12.0);
            std::snprintf(name, sizeof name, "%s_%03.0f", t.name, hz);
            cases.push_back({name, "sustained A2-A5", "tool", tone(t.timbre, hz, 2.0)});
        }
    }
    for (const char* wave : {"sine", "square", "triangle", "sawtooth"}) {
        for (int hz : {110, 165, 220, 330, 440, 660, 880}) {
            std::snprintf(name, sizeof name, "sox_%s_%d", wave, hz);
            cases.push_back({name, "sox waveforms 110-880",
                             std::string("sox:") + wave + ":" + std::to_string(hz),
                             tone(Timbre::kSine, hz, 2.0)});
        }
    }
    for (double snr : {10.0, 0.0}) {
        for (const auto& t : {timbres[0], timbres[3], timbres[5], timbres[7]}) {
            for (double hz : {110.0, 220.0, 440.0, 880.0}) {
                ToneRecipe recipe = tone(t.timbre, hz, 2.0);
                recipe.snrDb = snr;
                std::snprintf(name, sizeof name, "snr%02.0f_%s_%03.0f", snr, t.name, hz);
                cases.push_back({name, snr > 5.0 ? "white noise 10 dB SNR" : "white noise 0 dB SNR",
                                 "tool", recipe});
            }
        }
    }
    for (int passes : {0, 1, 3}) {
        ToneRecipe recipe;
        recipe.timbre = Timbre::kNone;
        recipe.noiseDbfs = -20.0;
        recipe.noisePasses = passes;
        recipe.seconds = 10.0;
        std::snprintf(name, sizeof name, "noise_alone_%d", passes);
        cases.push_back({name, "noise alone", "tool", recipe});
    }
    {
        ToneRecipe recipe;
        recipe.timbre = Timbre::kNone;
        recipe.seconds = 5.0;
        cases.push_back({"silence", "silence", "tool", recipe});
    }
    for (const auto& t : {timbres[0], timbres[3], timbres[7]}) {
        ToneRecipe recipe = tone(t.timbre, 196.0, 4.0);
        recipe.peakDbfs = -3.0;
        recipe.decayDbPerSecond = 15.0;
        cases.push_back({std::string("decay_") + t.name, "decay 15 dB/s", "tool", recipe});
    }
    for (const auto& t : {timbres[0], timbres[3], timbres[8]}) {
        for (double hz : {110.0, 330.0, 880.0}) {
            ToneRecipe recipe = tone(t.timbre, hz, 3.0);
            recipe.vibratoCents = 30.0;
            std::snprintf(name, sizeof name, "vibrato_%s_%03.0f", t.name, hz);
            cases.push_back({name, "vibrato +-30 c 6 Hz", "tool", recipe});
        }
    }
    for (const auto& t : {timbres[0], timbres[3]}) {
        ToneRecipe recipe = tone(t.timbre, 110.0, 3.0);
        recipe.endHz = 880.0;
        cases.push_back(
            {std::string("glide_") + t.name, "glide 110-880 Hz in 3 s", "tool", recipe});
    }
    for (double hz : {50.0, 2000.0}) {
        std::snprintf(name, sizeof name, "edge_%04.0f", hz);
        cases.push_back(
            {name, "range edges 50 Hz, 2 kHz", "tool", tone(Timbre::kSawtooth, hz, 2.0)});
    }
    // General MIDI programs: the bowed strings, and others to compare them with.
    const struct {
        int program;
        const char* name;
    } instruments[] = {{40, "violin"},   {42, "cello"},   {0, "piano"},   {73, "flute"},
                       {71, "clarinet"}, {56, "trumpet"}, {24, "guitar"}, {52, "choir"}};
    for (const auto& instrument : instruments) {
        for (int semitone = 0; semitone <= 36; semitone += 3) {
            const int note = 45 + semitone;  // A2
            const double hz = 110.0 * std::pow(2.0, semitone / 12.0);
            std::snprintf(name, sizeof name, "gm_%s_%03.0f", instrument.name, hz);
            const std::string group = std::string("FluidSynth ") + instrument.name + " A2-A5";
            const std::string source =
                "fluid:" + std::to_string(instrument.program) + ":" + std::to_string(note);
            cases.push_back({name, group, source, tone(Timbre::kSine, hz, 2.0)});
        }
    }
    return cases;
}

const Case* FindCase(const std::vector<Case>& cases, const char* name) {
    for (const Case& c : cases) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

int Make(const Case& c) {
    const std::vector<int16_t> pcm = ToPcm16(Synthesize(c.recipe, kRate));
    return std::fwrite(pcm.data(), sizeof(int16_t), pcm.size(), stdout) == pcm.size() ? 0 : 1;
}

// A format 0 MIDI file that plays a FluidSynth case's note: its program from the start, the
// note at velocity 100 from the onset for the tone's length, then a second for the release.
int Midi(const Case& c) {
    int program = 0, note = 0;
    if (std::sscanf(c.source.c_str(), "fluid:%d:%d", &program, &note) != 2) return 2;
    constexpr int kTicksPerSecond = 960;  // 480 a quarter note at the default 120 a minute
    const auto ticks = [](double seconds) { return int(std::lround(seconds * kTicksPerSecond)); };
    std::vector<unsigned char> track;
    const auto delta = [&track](int value) {  // variable-length quantity
        unsigned char bytes[4];
        int count = 0;
        do {
            bytes[count++] = value & 0x7f;
            value >>= 7;
        } while (value > 0);
        while (count > 1)
            track.push_back(bytes[--count] | 0x80);
        track.push_back(bytes[0]);
    };
    const auto event = [&](int at, std::initializer_list<int> bytes) {
        delta(at);
        for (int b : bytes)
            track.push_back((unsigned char)b);
    };
    event(0, {0xc0, program});
    event(ticks(c.recipe.onsetSeconds), {0x90, note, 100});
    event(ticks(c.recipe.seconds), {0x80, note, 64});
    event(ticks(1.0), {0xff, 0x2f, 0x00});  // end of track
    std::vector<unsigned char> file = {'M',
                                       'T',
                                       'h',
                                       'd',
                                       0,
                                       0,
                                       0,
                                       6,
                                       0,
                                       0,
                                       0,
                                       1,
                                       kTicksPerSecond / 2 >> 8,
                                       kTicksPerSecond / 2 & 0xff,
                                       'M',
                                       'T',
                                       'r',
                                       'k'};
    const size_t length = track.size();
    for (int shift : {24, 16, 8, 0})
        file.push_back((unsigned char)(length >> shift));
    file.insert(file.end(), track.begin(), track.end());
    return std::fwrite(file.data(), 1, file.size(), stdout) == file.size() ? 0 : 1;
}

// The program's pitch log of the samples on standard input, with the default settings.
int Log(PitchEstimatorKind estimator) {
    std::vector<int16_t> pcm;
    int16_t buffer[kBlock];
    size_t got;
    while ((got = std::fread(buffer, sizeof(int16_t), kBlock, stdin)) > 0)
        pcm.insert(pcm.end(), buffer, buffer + got);
    ResetProgramState();
    SetDisplayBackEnd(&MemoryDisplayBackEnd);
    OpenDisplay(nullptr);
    InitViews(nullptr, 0, 26, 240, 268);
    SetPitchEstimator(estimator);
    if (!OpenPitchLog("-")) return 1;
    for (size_t at = 0; at + kBlock <= pcm.size(); at += kBlock)
        ProcessBlock(pcm.data() + at, kBlock, false);
    ClosePitchLog();
    return 0;
}

struct Frame {
    double seconds;
    double hz;  // 0: no reading
    bool locked;
};

// The program's CSV (time_s,frequency_hz,note,cents,lock) or aubiopitch's "time hz"; a tool
// without a lock state counts every reading as locked.
std::vector<Frame> ReadFrames() {
    std::vector<Frame> frames;
    char line[256];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        double seconds = 0.0, hz = 0.0;
        if (std::strchr(line, ',') != nullptr) {
            if (std::sscanf(line, "%lf,%lf", &seconds, &hz) != 2) continue;  // the header
            frames.push_back({seconds, hz, std::strstr(line, ",locked") != nullptr});
        } else if (std::sscanf(line, "%lf %lf", &seconds, &hz) == 2) {
            frames.push_back({seconds, hz, hz > 0.0});
        }
    }
    return frames;
}

double Median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Each method stamps its frames differently (block end, frame start, with or without its
// own delay): frames are compared with the truth at their time minus the fixed delay, from
// -100 to +150 ms, that suits the method best on this file.
double BestDelay(const Case& c, const std::vector<Frame>& frames) {
    double best = 0.0, bestMedian = 1e18;
    for (int ms = -100; ms <= 150; ms += 5) {
        std::vector<double> errors;
        for (const Frame& f : frames) {
            const double truth = TrueFrequency(c.recipe, f.seconds - ms / 1000.0);
            if (truth > 0.0) errors.push_back(f.hz > 0.0 ? std::fabs(CentsOff(f.hz, truth)) : 1e9);
        }
        const double m = Median(errors);
        if (m < bestMedian) {
            bestMedian = m;
            best = ms / 1000.0;
        }
    }
    return best;
}

// One line: method group case frames within50 within10 median_cents locked_frames (of
// material without a tone) first_lock_s quietest_dbfs (nan where it does not apply).
int Score(const Case& c, const char* method) {
    const std::vector<Frame> frames = ReadFrames();
    const double delay = BestDelay(c, frames);
    int judged = 0, within50 = 0, within10 = 0, locked = 0;
    double firstLock = NAN, quietest = NAN;
    std::vector<double> errors;
    for (const Frame& f : frames) {
        const double t = f.seconds - delay;
        const double truth = TrueFrequency(c.recipe, t);
        if (truth <= 0.0) {
            // Around a note's onset a reading may rightly come before the aligned truth:
            // only material without any tone counts these.
            locked += c.recipe.timbre == Timbre::kNone && f.locked && f.hz > 0.0;
            continue;
        }
        const double error = f.hz > 0.0 ? std::fabs(CentsOff(f.hz, truth)) : 1e9;
        const bool right = f.locked && error <= 50.0;
        if (right && std::isnan(firstLock)) firstLock = f.seconds - c.recipe.onsetSeconds;
        if (right) quietest = ToneLevelDbfs(c.recipe, t);
        if (t < c.recipe.onsetSeconds + kSettle) continue;
        judged += 1;
        within50 += error <= 50.0;
        within10 += error <= 10.0;
        errors.push_back(error);
    }
    std::printf("%s %s %s %d %d %d %.3f %d %.3f %.1f\n", method, c.group.c_str(), c.name.c_str(),
                judged, within50, within10, Median(errors), locked, firstLock, quietest);
    return 0;
}

// Pools the result lines by group and method.
int Table() {
    struct Pool {
        int judged = 0, within50 = 0, within10 = 0, locked = 0;
        std::vector<double> medians, firstLocks, quietest;
    };
    std::vector<std::string> groups, methods;
    std::map<std::string, Pool> pools;  // group + "|" + method
    char method[64], group[96], name[96];
    int judged, within50, within10, locked;
    double median, firstLock, quiet;
    char line[512];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        // Group names hold spaces: the method is the first word, the rest is read from the end.
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        std::vector<std::string> words;
        for (size_t at = 0; at < text.size();) {
            const size_t end = std::min(text.find(' ', at), text.size());
            words.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        if (words.size() < 10) continue;
        const size_t n = words.size();
        std::snprintf(method, sizeof method, "%s", words[0].c_str());
        std::string g;
        for (size_t i = 1; i + 8 < n; ++i)
            g += (g.empty() ? "" : " ") + words[i];
        std::snprintf(group, sizeof group, "%s", g.c_str());
        std::snprintf(name, sizeof name, "%s", words[n - 8].c_str());
        judged = std::atoi(words[n - 7].c_str());
        within50 = std::atoi(words[n - 6].c_str());
        within10 = std::atoi(words[n - 5].c_str());
        median = std::atof(words[n - 4].c_str());
        locked = std::atoi(words[n - 3].c_str());
        firstLock = std::atof(words[n - 2].c_str());
        quiet = std::atof(words[n - 1].c_str());
        if (std::find(groups.begin(), groups.end(), group) == groups.end()) groups.push_back(group);
        if (std::find(methods.begin(), methods.end(), method) == methods.end()) {
            methods.push_back(method);
        }
        Pool& p = pools[std::string(group) + "|" + method];
        p.judged += judged;
        p.within50 += within50;
        p.within10 += within10;
        p.locked += locked;
        if (!std::isnan(median)) p.medians.push_back(median);
        if (!std::isnan(firstLock)) p.firstLocks.push_back(firstLock);
        if (!std::isnan(quiet)) p.quietest.push_back(quiet);
    }
    for (const std::string& g : groups) {
        std::printf(
            "\n%s\n\n| method | frames | within 50 c | within 10 c | median error (c) | "
            "locked frames, no tone | median first lock (s) | quietest right "
            "reading (dBFS) |\n|---|---|---|---|---|---|---|---|\n",
            g.c_str());
        for (const std::string& m : methods) {
            const auto found = pools.find(g + "|" + m);
            if (found == pools.end()) continue;
            const Pool& p = found->second;
            const double share = p.judged > 0 ? 100.0 / p.judged : 0.0;
            std::printf("| %s | %d | %.1f %% | %.1f %% | %.2f | %d | %.3f | %.1f |\n", m.c_str(),
                        p.judged, p.within50 * share, p.within10 * share, Median(p.medians),
                        p.locked, Median(p.firstLocks), Median(p.quietest));
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Case> cases = Cases();
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list") {
        for (const Case& c : cases)
            std::printf("%s\t%s\t%s\n", c.name.c_str(), c.group.c_str(), c.source.c_str());
        return 0;
    }
    if (command == "table") return Table();
    if (command == "log" && argc == 3) {
        PitchEstimatorKind kind;
        if (ParsePitchEstimator(argv[2], &kind)) return Log(kind);
    }
    const Case* c = argc > 2 ? FindCase(cases, argv[2]) : nullptr;
    if (command == "make" && c != nullptr) return Make(*c);
    if (command == "midi" && c != nullptr) return Midi(*c);
    if (command == "score" && c != nullptr && argc == 4) return Score(*c, argv[3]);
    std::fprintf(stderr,
                 "usage: %s list | make NAME | midi NAME | log classic|accurate | score NAME "
                 "METHOD | table\n",
                 argv[0]);
    return 2;
}
