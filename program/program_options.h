// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line, parsed into a record; no Qt, so it is tested on its own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The exit code of a usage error (also of an input file that cannot be read or is damaged).
constexpr int kUsageError = 2;
// The exit code of any other failure: capture, an output not written in full, a scripted
// command that never ran.
constexpr int kFailure = 1;
// The exit code of a run that signal N ended is this plus N, as the shell shows it.
constexpr int kSignalExitBase = 128;
// Room for a one-line reason that names a file: the longest path, every byte escaped.
constexpr size_t kReasonSize = 4 * 4096 + 1024;

// `--command ID@N`: post WM_COMMAND `id` once `blocks` blocks have been processed.
struct ScriptedCommand {
    int id;            // one of kMainWindowCommands
    long long blocks;  // 0 and up
};

struct ProgramOptions {
    bool help = false;
    bool version = false;
    bool listDevices = false;
    bool headless = false;
    bool stats = false;                       // print the block counts when the program ends
    std::optional<std::string> input;         // audio file instead of the microphone
    std::optional<std::string> device;        // microphone name (exact, else a part)
    std::optional<std::string> snapshot;      // PNG written when the program ends
    std::optional<std::string> oemText;       // replaces the machine's OEM text
    std::optional<std::string> pitchLog;      // CSV file, "-" for standard output
    std::optional<std::string> spectrumOut;   // CSV of the run's average spectrum, at its end
    std::optional<std::string> pitch;         // the pitch estimator: "classic" or "accurate"
    std::optional<std::string> view;          // the picture: "handheld" or "full"
    std::optional<std::string> a4Text;        // --a4 as given
    std::optional<float> a4;                  // the reference pitch, Hz
    std::optional<std::string> sizeText;      // --size as given
    std::optional<std::pair<int, int>> size;  // the full view's snapshot, width x height
    std::vector<ScriptedCommand> commands;    // in the order given
    std::string error;  // one line "quillo-sa: ..." when the command line is wrong; else empty
};

// Options take their value as the next argument or after '='. A later value of the same
// option replaces an earlier one, but the input is named once (by --input or as an argument
// that is no option; a second is a mistake); --command adds up, and takes only the main
// window's command ids. After "--" every argument is a file name. -h and -V are --help and
// --version.
ProgramOptions ParseProgramOptions(int argc, const char* const* argv);

// A usage error when two of --input, --pitch-log, --snapshot and --spectrum-out name one file (by
// device and inode when both exist, else by the path each resolves to through every symlink,
// dangling ones too), which the output would destroy; empty when they are distinct. "-" is the
// regular file that standard input (--input) or output (--pitch-log) is redirected from or
// to, if it is one.
std::string SameFileError(const ProgramOptions& options);

// The full view's snapshot sizes that --size accepts.
constexpr int kMinPictureWidth = 320;
constexpr int kMinPictureHeight = 240;
constexpr int kMaxPictureWidth = 7680;
constexpr int kMaxPictureHeight = 4320;

// The --help text.
const char* ProgramUsage();
