// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: every option, and the first mistake as one line.
#include "program/program_options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <system_error>

#include "platform/files/file_names.h"
#include "resources/resources.h"
#include "views/note_scale.h"

namespace {

constexpr int kMaxCommandId = 65535;  // the window procedure reads the low word
constexpr int kMaxLinkHops = 40;      // as the kernel's own limit on a chain of symlinks

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
    {"--input", &ProgramOptions::input},
    {"--device", &ProgramOptions::device},
    {"--snapshot", &ProgramOptions::snapshot},
    {"--oem-text", &ProgramOptions::oemText},
    {"--pitch-log", &ProgramOptions::pitchLog},
    {"--pitch", &ProgramOptions::pitch},
    {"--view", &ProgramOptions::view},
    {"--size", &ProgramOptions::sizeText},
    {"--spectrum-out", &ProgramOptions::spectrumOut},
    {"--a4", &ProgramOptions::a4Text},
};

// "WxH" within the limits of the full view's picture.
bool ParseSize(const std::string& text, std::pair<int, int>& size) {
    const size_t x = text.find('x');
    long long width = 0, height = 0;
    if (x == std::string::npos || !ParseCount(std::string_view(text).substr(0, x), width) ||
        !ParseCount(std::string_view(text).substr(x + 1), height)) {
        return false;
    }
    if (width < kMinPictureWidth || width > kMaxPictureWidth || height < kMinPictureHeight ||
        height > kMaxPictureHeight) {
        return false;
    }
    size = {int(width), int(height)};
    return true;
}

std::string Quoted(const std::string& text) {
    return PrintableFileName(text.c_str());
}

// The file that a chain of symlinks at `path` ends in, whether or not it exists: two outputs
// that meet through a dangling link would otherwise write one file twice.
std::string LinkTarget(const std::string& path) {
    std::filesystem::path target(path);
    for (int hop = 0; hop < kMaxLinkHops; hop++) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, error))) break;
        const std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target.string();
}

// The absolute path with the symlinks of its existing part resolved, and no "." or "..".
std::filesystem::path Resolved(const std::string& path, std::error_code& error) {
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return {};
    return std::filesystem::weakly_canonical(absolute, error).lexically_normal();
}

// The file a path names: "-" is standard input's descriptor (input) or output's; false
// when it does not exist.
bool FileIdentity(const std::string& path, int standardDescriptor, struct stat* status) {
    if (path == "-") return fstat(standardDescriptor, status) == 0 && S_ISREG(status->st_mode);
    return stat(path.c_str(), status) == 0;
}

// One file by its device and inode when both exist, else by the path that each resolves to
// (symlinks, dangling ones too, and "..", as far as they exist).
bool IsSameFile(const std::string& first, int firstDescriptor, const std::string& second,
                int secondDescriptor) {
    struct stat a {};
    struct stat b {};
    const bool firstExists = FileIdentity(first, firstDescriptor, &a);
    const bool secondExists = FileIdentity(second, secondDescriptor, &b);
    if (firstExists && secondExists) return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    if (first == "-" || second == "-") return false;
    std::error_code error;
    const std::filesystem::path resolvedFirst = Resolved(LinkTarget(first), error);
    if (error) return first == second;
    const std::filesystem::path resolvedSecond = Resolved(LinkTarget(second), error);
    if (error) return first == second;
    return resolvedFirst == resolvedSecond;
}

ProgramOptions Fail(ProgramOptions options, const std::string& message) {
    options.error = "quillo-sa: " + message;
    return options;
}

}  // namespace

ProgramOptions ParseProgramOptions(int argc, const char* const* argv) {
    ProgramOptions options;
    bool optionsEnded = false;  // after "--" every argument is a file name
    for (int i = 1; i < argc; i++) {
        const std::string argument = argv[i] != nullptr ? argv[i] : "";
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        // A file name without an option plays it, as --input does ("-": standard input).
        if (optionsEnded || argument.empty() || argument == "-" || argument[0] != '-') {
            if (argument.empty()) return Fail(options, "an empty file name (see --help)");
            if (options.input) {
                return Fail(options, "unexpected argument '" + Quoted(argument) +
                                         "': one input at a time (see --help)");
            }
            options.input = argument;
            continue;
        }
        const size_t equals = argument.find('=');
        const bool joined = argument.rfind("--", 0) == 0 && equals != std::string::npos;
        std::string name = joined ? argument.substr(0, equals) : argument;
        if (name == "-h") name = "--help";
        if (name == "-V") name = "--version";
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
            return Fail(options, "unknown option '" + Quoted(name) + "' (see --help)");
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
                return Fail(options, "--command '" + Quoted(value) +
                                         "': expected ID@N, a command id and a block count 0 "
                                         "or more");
            }
            if (std::find(std::begin(kMainWindowCommands), std::end(kMainWindowCommands),
                          command.id) == std::end(kMainWindowCommands)) {
                return Fail(options, "--command '" + Quoted(value) +
                                         "': " + std::to_string(command.id) +
                                         " is not a command of the program (see --help)");
            }
            options.commands.push_back(command);
            continue;
        }
        const bool mayBeEmpty = name == "--device" || name == "--oem-text";
        if (value.empty() && !mayBeEmpty) return Fail(options, "option " + name + " needs a value");
        if (name == "--pitch" && value != "classic" && value != "accurate") {
            return Fail(options, "--pitch '" + Quoted(value) + "': expected classic or accurate");
        }
        if (name == "--input" && options.input) {
            return Fail(options, "--input '" + Quoted(value) + "' after '" +
                                     Quoted(*options.input) +
                                     "': one input at a time (see --help)");
        }
        if (name == "--view" && value != "handheld" && value != "full") {
            return Fail(options, "--view '" + Quoted(value) + "': expected handheld or full");
        }
        if (name == "--a4") {
            float hz = 0.0f;
            if (!ParseReferencePitch(value.c_str(), &hz)) {
                return Fail(options, "--a4 '" + Quoted(value) +
                                         "': expected a pitch in Hz from 400.0 to 480.0, in "
                                         "steps of 0.1");
            }
            options.a4 = hz;
        }
        std::pair<int, int> size;
        if (name == "--size") {
            if (!ParseSize(value, size)) {
                return Fail(options, "--size '" + Quoted(value) + "': expected WIDTHxHEIGHT from " +
                                         std::to_string(kMinPictureWidth) + "x" +
                                         std::to_string(kMinPictureHeight) + " to " +
                                         std::to_string(kMaxPictureWidth) + "x" +
                                         std::to_string(kMaxPictureHeight));
            }
            options.size = size;
        }
        options.*(valueOption->field) = value;
    }
    return options;
}

std::string SameFileError(const ProgramOptions& options) {
    struct File {
        const char* option;
        const std::optional<std::string>* path;
        int standardDescriptor;  // what "-" names
    };
    const File files[] = {
        {"--input", &options.input, STDIN_FILENO},
        {"--pitch-log", &options.pitchLog, STDOUT_FILENO},
        {"--snapshot", &options.snapshot, -1},
        {"--spectrum-out", &options.spectrumOut, -1},
    };
    for (size_t a = 0; a < std::size(files); a++) {
        for (size_t b = a + 1; b < std::size(files); b++) {
            const std::optional<std::string>& first = *files[a].path;
            const std::optional<std::string>& second = *files[b].path;
            if (!first || !second ||
                !IsSameFile(*first, files[a].standardDescriptor, *second,
                            files[b].standardDescriptor)) {
                continue;
            }
            const auto shown = [](const std::string& path, int descriptor) {
                // Appended rather than "'" + Quoted(path): GCC 12's optimiser sees an
                // overlap in that concatenation and warns.
                if (path != "-") return std::string("'").append(Quoted(path)).append("'");
                return std::string(descriptor == STDIN_FILENO ? "(standard input)"
                                                              : "(standard output)");
            };
            return "quillo-sa: " + std::string(files[b].option) + " " +
                   shown(*second, files[b].standardDescriptor) + " is the same file as " +
                   files[a].option + " " + shown(*first, files[a].standardDescriptor) +
                   "; it would be overwritten";
        }
    }
    return std::string();
}

const char* ProgramUsage() {
    return "Usage: quillo-sa [OPTION]... [FILE]\n"
           "Real-time audio spectrum analyzer and spectrogram with a pitch readout.\n"
           "\n"
           "  FILE, --input FILE   analyse an audio file instead of the microphone\n"
           "  --device NAME        record from this input (exact name, else part of one)\n"
           "  --list-devices       list the inputs that can record 22050 Hz mono 16-bit\n"
           "  --headless           run without showing a window\n"
           "  --snapshot FILE.png  write the picture as last shown when the program ends\n"
           "  --command ID@N       send menu command ID after N processed blocks (repeatable)\n"
           "  --oem-text TEXT      take TEXT as the machine's OEM text\n"
           "  --pitch-log FILE     write the tracked pitch as CSV (- for standard output)\n"
           "  --spectrum-out FILE  when the program ends, write the spectrum averaged over the\n"
           "                       whole run as CSV, at the full view's FFT size and window\n"
           "  --pitch ESTIMATOR    accurate (the default unless another is kept) or classic,\n"
           "                       for the readout and the pitch log\n"
           "  --view PICTURE       handheld (the first start's) or full (the window's pixels)\n"
           "  --size WxH           the full view's size in a --snapshot (default 1280x720)\n"
           "  --a4 HZ              A4 in Hz for notes and cents, 400.0 to 480.0 (this run only)\n"
           "  --stats              at the end, print the blocks processed and dropped\n"
           "  -h, --help           show this help and exit\n"
           "  -V, --version        show the version and exit\n"
           "\n"
           "Commands: 40025 Exit (saves), 1 quit without saving, 40060 spectrum, 40009\n"
           "spectrogram, 1202 dB grid, 1207 frequency grid, 1205 dB labels, 1206 noise\n"
           "reference, 1208 automatic range, 1203 pause, 40070 accurate pitch, 40003 About,\n"
           "40019 Content, 40008 Option.\n"
           "A headless run with --input ends at the end of the file; without it, at SIGINT.\n"
           "Exit status: 0 done as asked, 1 a failure, 2 a usage error or an unreadable input,\n"
           "128+N ended by signal N.\n";
}
