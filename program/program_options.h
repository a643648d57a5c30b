// The program's command line, parsed into a record; no Qt, so it is tested on its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The exit code of a usage error (also of an input file that cannot be read).
constexpr int kUsageError = 2;

// `--command ID@N`: post WM_COMMAND `id` once `blocks` blocks have been processed.
struct ScriptedCommand {
    int id;            // 0 .. 65535: the window procedure reads the low word
    long long blocks;  // 0 and up
};

struct ProgramOptions {
    bool help = false;
    bool version = false;
    bool listDevices = false;
    bool headless = false;
    bool stats = false;  // print the block counts when the program ends
    std::optional<std::string> input;       // audio file instead of the microphone
    std::optional<std::string> device;      // microphone name (exact, else a part)
    std::optional<std::string> snapshot;    // PNG written when the program ends
    std::optional<std::string> oemText;     // replaces the machine's OEM text
    std::optional<std::string> pitchLog;    // CSV file, "-" for standard output
    std::optional<std::string> pitch;       // the pitch estimator: "classic" or "accurate"
    std::vector<ScriptedCommand> commands;  // in the order given
    std::string error;  // one line "quillo-sa: ..." when the command line is wrong; else empty
};

// Options take their value as the next argument or after '='. A later value of the same
// option replaces an earlier one; --command adds up.
ProgramOptions ParseProgramOptions(int argc, const char* const* argv);

// The --help text.
const char* ProgramUsage();
