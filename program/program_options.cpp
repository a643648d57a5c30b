// The command line: every option, and the first mistake as one line.
#include "program/program_options.h"

#include <charconv>
#include <string_view>

namespace {

constexpr int kMaxCommandId = 65535;

// A whole non-negative decimal number that fits; no sign, no spaces.
bool ParseCount(std::string_view text, long long& value) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool ParseCommand(const std::string& text, ScriptedCommand& command) {
    const size_t at = text.find('@');
    if (at == std::string::npos) return false;
    long long id = 0;
    long long blocks = 0;
    if (!ParseCount(std::string_view(text).substr(0, at), id) ||
        !ParseCount(std::string_view(text).substr(at + 1), blocks) || id > kMaxCommandId) {
        return false;
    }
    command = {static_cast<int>(id), blocks};
    return true;
}

struct ValueOption {
    const char* name;
    std::optional<std::string> ProgramOptions::*field;
};
const ValueOption kValueOptions[] = {
    {"--input", &ProgramOptions::input},        {"--device", &ProgramOptions::device},
    {"--snapshot", &ProgramOptions::snapshot},  {"--oem-text", &ProgramOptions::oemText},
    {"--pitch-log", &ProgramOptions::pitchLog}, {"--pitch", &ProgramOptions::pitch},
};

ProgramOptions Fail(ProgramOptions options, const std::string& message) {
    options.error = "quillo-sa: " + message;
    return options;
}

}  // namespace

ProgramOptions ParseProgramOptions(int argc, const char* const* argv) {
    ProgramOptions options;
    for (int i = 1; i < argc; i++) {
        const std::string argument = argv[i] != nullptr ? argv[i] : "";
        const size_t equals = argument.find('=');
        const bool joined = argument.rfind("--", 0) == 0 && equals != std::string::npos;
        const std::string name = joined ? argument.substr(0, equals) : argument;
        if (name == "--help" || name == "--version" || name == "--list-devices" ||
            name == "--headless" || name == "--stats") {
            if (joined) return Fail(options, "option " + name + " takes no value");
            if (name == "--help") options.help = true;
            if (name == "--version") options.version = true;
            if (name == "--list-devices") options.listDevices = true;
            if (name == "--headless") options.headless = true;
            if (name == "--stats") options.stats = true;
            continue;
        }
        const bool isCommand = name == "--command";
        const ValueOption* valueOption = nullptr;
        for (const ValueOption& candidate : kValueOptions) {
            if (name == candidate.name) valueOption = &candidate;
        }
        if (!isCommand && valueOption == nullptr) {
            if (argument.rfind("-", 0) == 0 && argument != "-") {
                return Fail(options, "unknown option '" + name + "' (see --help)");
            }
            return Fail(options, "unexpected argument '" + argument + "' (see --help)");
        }
        std::string value;
        if (joined) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < argc && argv[i + 1] != nullptr) {
            value = argv[++i];
        } else {
            return Fail(options, "option " + name + " needs a value");
        }
        if (isCommand) {
            ScriptedCommand command{};
            if (!ParseCommand(value, command)) {
                return Fail(options, "--command '" + value +
                                         "': expected ID@N, a command id 0 to 65535 and a "
                                         "block count 0 or more");
            }
            options.commands.push_back(command);
            continue;
        }
        const bool mayBeEmpty = name == "--device" || name == "--oem-text";
        if (value.empty() && !mayBeEmpty) return Fail(options, "option " + name + " needs a value");
        if (name == "--pitch" && value != "classic" && value != "accurate") {
            return Fail(options, "--pitch '" + value + "': expected classic or accurate");
        }
        options.*(valueOption->field) = value;
    }
    return options;
}

const char* ProgramUsage() {
    return "Usage: quillo-sa [OPTION]...\n"
           "Real-time audio spectrum analyzer and spectrogram with a pitch readout.\n"
           "\n"
           "  --input FILE         analyse an audio file instead of the microphone\n"
           "  --device NAME        record from this input (exact name, else part of one)\n"
           "  --list-devices       list the inputs that can record 22050 Hz mono 16-bit\n"
           "  --headless           run without showing a window\n"
           "  --snapshot FILE.png  write the picture as last shown when the program ends\n"
           "  --command ID@N       send menu command ID after N processed blocks (repeatable)\n"
           "  --oem-text TEXT      take TEXT as the machine's OEM text\n"
           "  --pitch-log FILE     write the tracked pitch as CSV (- for standard output)\n"
           "  --pitch ESTIMATOR    classic (the default) or accurate, for the readout and log\n"
           "  --stats              at the end, print the blocks processed and dropped\n"
           "  --help               show this help and exit\n"
           "  --version            show the version and exit\n"
           "\n"
           "A headless run with --input ends at the end of the file; without it, at SIGINT.\n";
}
