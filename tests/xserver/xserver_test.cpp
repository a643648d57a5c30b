// SPDX-License-Identifier: GPL-3.0-or-later
// The real program in a real X server (Xvfb, no window manager), driven as a user drives it
// with xdotool: the window opens with the picture at scale 3 and the bar below it, the
// Control menu opens the Setting dialog, a changed setting shows on the picture, and Ctrl+Q
// closes without saving; the picture runs on while another window has the focus, the pause
// button freezes it, the close button saves; a desktop scaled by two opens the window with
// its whole bar on the screen; after a file ended, F shows its end in the full view and F
// again in the handheld picture; the picture is a window of its own, drawn through the X
// server, that shows the exact picture again when uncovered and at another scale. The
// screenshots (ImageMagick's import) are compared with snapshots of headless runs of the same
// settings.
//
// Every wait is bounded by one deadline for the whole test; every process started here is
// stopped by its id when the test ends, whatever happened.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>

#include <gtest/gtest.h>

#include "tests/support/program_files.h"
#include "tests/xserver/close_request.h"
#include "tests/xserver/window_tree.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kTestTime = std::chrono::seconds(60);
constexpr int kScale = 3;  // a 1280 x 1024 screen has room for the picture at 3
constexpr int kViewWidth = 240;
constexpr int kViewHeight = 268;
// Known settings: the logarithmic scale, so that choosing "Linear" changes the axis.
constexpr const char* kSettings = "1 80 20 0 1 2 1 2";
constexpr const char* kLinearSettings = "0 80 20 0 1 2 1 2";

// Parts of the view that do not depend on the sound: the time axis and the readout band's
// frame, the frequency axis right of the spectrogram, the colour legend along the bottom.
const QRect kTimeAxisAndBandTop(0, 53, 240, 21);
const QRect kBandBottom(0, 81, 240, 5);
const QRect kFrequencyAxis(202, 86, 38, 170);
const QRect kLegend(0, 256, 240, 12);
const QRect kSpectrogram(0, 86, 202, 170);

// The processes of one test: started with their own environment and output files, waited
// for within the test's deadline, and stopped by id when the test ends.
class Processes {
  public:
    explicit Processes(std::string folder) : folder(std::move(folder)) {}
    // The last started first: the program before its X server.
    ~Processes() {
        while (!running.empty())
            Stop(running.back());
    }

    // Replaces these variables of the inherited environment; an empty value removes one.
    void SetEnvironment(std::vector<std::pair<std::string, std::string>> values) {
        overrides = std::move(values);
    }

    // Starts argv[0] (a path, or a name looked up in PATH); 0 when it cannot be started.
    pid_t Start(const std::vector<std::string>& args, const std::string& logName) {
        const pid_t pid = StartProcess(args, overrides, folder + "/" + logName + ".out",
                                       folder + "/" + logName + ".err");
        if (pid == 0) return 0;
        running.push_back(pid);
        return pid;
    }

    // The exit code (-1 for a signal) once the process has ended, or nothing when it is still
    // running at `until`.
    std::optional<int> WaitUntil(pid_t pid, Clock::time_point until) {
        for (;;) {
            int status = 0;
            const pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                std::erase(running, pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (done < 0 || Clock::now() >= until) return std::nullopt;
            std::this_thread::sleep_for(milliseconds(10));
        }
    }

    bool Running(pid_t pid) {
        return std::find(running.begin(), running.end(), pid) != running.end() &&
               !WaitUntil(pid, Clock::now()).has_value();
    }

    // SIGTERM, a moment's grace, then SIGKILL.
    void Stop(pid_t pid) {
        if (pid <= 0 || std::find(running.begin(), running.end(), pid) == running.end()) return;
        kill(pid, SIGTERM);
        if (WaitUntil(pid, Clock::now() + milliseconds(2000))) return;
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        std::erase(running, pid);
    }

    struct Result {
        int code = -1;  // -1: killed, timed out or not started
        std::string out;
    };
    // Runs a tool to its end, for at most `limit` and never past `deadline`.
    Result Run(const std::vector<std::string>& args, milliseconds limit,
               Clock::time_point deadline) {
        const std::string log = "tool" + std::to_string(++tools);
        Result result;
        const pid_t pid = Start(args, log);
        if (pid == 0) {
            ADD_FAILURE() << "cannot start " << args[0];
            return result;
        }
        const std::optional<int> code = WaitUntil(pid, std::min(deadline, Clock::now() + limit));
        if (!code) {
            Stop(pid);
            ADD_FAILURE() << args[0] << " " << (args.size() > 1 ? args[1] : "")
                          << " did not end in time";
            return result;
        }
        result.code = *code;
        result.out = ReadFile(folder + "/" + log + ".out");
        return result;
    }

  private:
    std::string folder;
    std::vector<std::pair<std::string, std::string>> overrides;
    std::vector<pid_t> running;
    int tools = 0;
};

QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

// Screen pixels of `region` (view pixels) that differ from the reference view when the
// picture's view pixel (0, 0) starts at `origin` on the screen, each view pixel kScale
// square.
int Mismatches(const QImage& screen, QPoint origin, const QImage& view, const QRect& region) {
    int wrong = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            const QRgb expected = At(view, x, y);
            for (int dy = 0; dy < kScale; ++dy) {
                for (int dx = 0; dx < kScale; ++dx) {
                    const int sx = origin.x() + x * kScale + dx;
                    const int sy = origin.y() + y * kScale + dy;
                    if (!screen.valid(sx, sy) || At(screen, sx, sy) != expected) ++wrong;
                }
            }
        }
    }
    return wrong;
}

int StaticMismatches(const QImage& screen, QPoint origin, const QImage& view) {
    int wrong = 0;
    for (const QRect& region : {kTimeAxisAndBandTop, kBandBottom, kFrequencyAxis, kLegend})
        wrong += Mismatches(screen, origin, view, region);
    return wrong;
}

// Spectrogram pixels in colour (neither black, nor white, nor grey), one sample per view
// pixel at its centre.
int ColouredSpectrogramPixels(const QImage& screen, QPoint origin) {
    int coloured = 0;
    for (int y = kSpectrogram.top(); y <= kSpectrogram.bottom(); ++y) {
        for (int x = kSpectrogram.left(); x <= kSpectrogram.right(); ++x) {
            const QRgb c = At(screen, origin.x() + x * kScale + 1, origin.y() + y * kScale + 1);
            coloured += !(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c));
        }
    }
    return coloured;
}

// Light pixels (button texts, image buttons) grouped into runs of columns with gaps of
// fewer than kGap columns, as [first, last] screen columns, left to right.
std::vector<std::pair<int, int>> LightColumnRuns(const QImage& screen, const QRect& band) {
    constexpr int kGap = 6;
    std::vector<std::pair<int, int>> runs;
    for (int x = band.left(); x <= band.right(); ++x) {
        bool light = false;
        for (int y = band.top(); y <= band.bottom() && !light; ++y) {
            const QRgb c = At(screen, x, y);
            light = qRed(c) > 0xA0 && qGreen(c) > 0xA0 && qBlue(c) > 0xA0;
        }
        if (!light) continue;
        if (!runs.empty() && x - runs.back().second < kGap) {
            runs.back().second = x;
        } else {
            runs.push_back({x, x});
        }
    }
    return runs;
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

std::optional<Geometry> ParseGeometry(const std::string& shell) {
    Geometry g;
    int found = 0;
    std::istringstream lines(shell);
    std::string line;
    while (std::getline(lines, line)) {
        int value = 0;
        if (std::sscanf(line.c_str(), "X=%d", &value) == 1) g.x = value, found |= 1;
        if (std::sscanf(line.c_str(), "Y=%d", &value) == 1) g.y = value, found |= 2;
        if (std::sscanf(line.c_str(), "WIDTH=%d", &value) == 1) g.width = value, found |= 4;
        if (std::sscanf(line.c_str(), "HEIGHT=%d", &value) == 1) g.height = value, found |= 8;
    }
    if (found != 15) return std::nullopt;
    return g;
}

class XServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        deadline = Clock::now() + kTestTime;
        char pattern[] = "/tmp/quillo-xserver-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        processes.emplace(folder);
    }
    void TearDown() override {
        processes.reset();  // stops whatever still runs: the program, then Xvfb
        if (!HasFailure()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        } else {
            std::printf("screenshots and logs kept in %s\n", folder.c_str());
        }
    }

    // A display number nobody uses (no socket, no lock file), with Xvfb started on it.
    bool StartXvfb(const std::string& screen = "1280x1024x24") {
        const int first = 100 + static_cast<int>(getpid() % 400);
        for (int n = first; n < first + 40 && Clock::now() < deadline; ++n) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            if (access(socket.c_str(), F_OK) == 0 || access(lock.c_str(), F_OK) == 0) continue;
            const std::string name = ":" + std::to_string(n);
            xvfb = processes->Start(
                {"Xvfb", name, "-screen", "0", screen, "-nolisten", "tcp", "-noreset"},
                "xvfb" + std::to_string(n));
            if (xvfb == 0) return false;
            // Up once its socket is there; a server that ends lost a race for the number.
            const auto until = std::min(deadline, Clock::now() + std::chrono::seconds(10));
            while (Clock::now() < until && processes->Running(xvfb) &&
                   access(socket.c_str(), F_OK) != 0) {
                std::this_thread::sleep_for(milliseconds(20));
            }
            if (!processes->Running(xvfb)) continue;
            display = name;
            return access(socket.c_str(), F_OK) == 0;
        }
        return false;
    }

    // `qtPicture` non-empty: Qt paints the picture and the bar's meter (QUILLO_QT_PICTURE).
    void UseEnvironment(const std::string& home, bool windowed, const std::string& scale = "",
                        const std::string& qtPicture = "") {
        processes->SetEnvironment({
            {"QT_SCALE_FACTOR", scale},
            {"QUILLO_QT_PICTURE", qtPicture},
            {"DISPLAY", windowed ? display : ""},
            {"QT_QPA_PLATFORM", windowed ? "xcb" : "offscreen"},
            {"WAYLAND_DISPLAY", ""},
            // No session bus: nothing of the user's desktop, and no bus autolaunched.
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home + "/no-bus"},
            {"XDG_CONFIG_HOME", home + "/config"},
            {"XDG_RUNTIME_DIR", home + "/runtime"},
            {"TMPDIR", home},
            {"HOME", home},
        });
    }

    // A folder with its own settings file and runtime folder.
    std::string NewHome(const std::string& name, const char* settings) {
        const std::string home = folder + "/" + name;
        std::filesystem::create_directories(home + "/config/Quillo-SA");
        std::filesystem::create_directories(home + "/runtime");
        std::filesystem::permissions(home + "/runtime", std::filesystem::perms::owner_all);
        WriteFile(home + "/config/Quillo-SA/setting.txt", settings);
        return home;
    }

    // The view a headless run of these settings shows at the end of `wav`.
    QImage HeadlessView(const char* settings, const std::string& wav, const std::string& name) {
        const std::string home = NewHome(name, settings);
        UseEnvironment(home, false);
        const std::string png = home + "/view.png";
        const pid_t pid = processes->Start(
            {QUILLO_PROGRAM, "--headless", "--input", wav, "--snapshot", png}, name);
        EXPECT_NE(pid, 0);
        const std::optional<int> code = processes->WaitUntil(pid, deadline);
        EXPECT_EQ(code, std::optional<int>(0)) << ReadFile(folder + "/" + name + ".err");
        return QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
    }

    Processes::Result Tool(const std::vector<std::string>& args, int limitMs = 10000) {
        return processes->Run(args, milliseconds(limitMs), deadline);
    }

    QImage Screenshot(const std::string& name) {
        const std::string path = folder + "/" + name + ".png";
        const Processes::Result shot = Tool({"import", "-window", "root", path});
        EXPECT_EQ(shot.code, 0) << "import failed";
        return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
    }

    // Takes screenshots until `good` holds of one, or the time is up; the last one taken.
    template <typename Predicate>
    QImage ScreenshotWhen(const std::string& name, int limitMs, Predicate good) {
        const auto until = std::min(deadline, Clock::now() + milliseconds(limitMs));
        for (;;) {
            QImage shot = Screenshot(name);
            if (HasFatalFailure() || shot.isNull() || good(shot) || Clock::now() >= until) {
                return shot;
            }
            std::this_thread::sleep_for(milliseconds(200));
        }
    }

    // The program in a window with the home's settings, on 60 s of a tone with harmonics
    // paced in real time (longer than any test): its process, window and geometry, or nullopt
    // with the failure added.
    struct WindowedProgram {
        pid_t pid;
        std::string window;
        Geometry geometry;
    };
    std::optional<WindowedProgram> StartOnALongTone(const std::string& home) {
        const std::string wav = folder + "/long.wav";
        WriteToneWav(wav, 330.0, 60.0, {{1, 7000.0}, {2, 3000.0}, {3, 1500.0}}, 300.0);
        return StartOn(home, wav);
    }
    // The same on `wav`, the program's output files named `name`.
    std::optional<WindowedProgram> StartOn(const std::string& home, const std::string& wav,
                                           const std::string& name = "program",
                                           const std::string& qtPicture = "") {
        UseEnvironment(home, true, "", qtPicture);
        const pid_t pid = processes->Start({QUILLO_PROGRAM, "--input", wav}, name);
        if (pid == 0) {
            ADD_FAILURE() << "the program did not start";
            return std::nullopt;
        }
        const std::string window = WaitForWindow("^Quillo-SA", 20000);
        if (window.empty()) {
            ADD_FAILURE() << "no window: " << ReadFile(folder + "/" + name + ".err");
            return std::nullopt;
        }
        const std::optional<Geometry> geometry =
            ParseGeometry(Tool({"xdotool", "getwindowgeometry", "--shell", window}).out);
        if (!geometry) {
            ADD_FAILURE() << "no geometry for window " << window;
            return std::nullopt;
        }
        return WindowedProgram{pid, window, *geometry};
    }

    // The first visible window whose name matches (xdotool's patterns ignore case), waiting
    // for it; empty when none came.
    std::string WaitForWindow(const std::string& pattern, int limitMs) {
        return FirstId(
            Tool({"xdotool", "search", "--sync", "--onlyvisible", "--name", pattern}, limitMs));
    }
    // The same without waiting.
    std::string FindWindow(const std::string& pattern) {
        return FirstId(Tool({"xdotool", "search", "--onlyvisible", "--name", pattern}));
    }
    // A visible window of the program other than `main` (a menu has no name to look for).
    bool WaitForPopup(const std::string& main, int limitMs) {
        const auto until = std::min(deadline, Clock::now() + milliseconds(limitMs));
        while (Clock::now() < until) {
            std::istringstream ids(
                Tool({"xdotool", "search", "--onlyvisible", "--classname", "^quillo-sa$"}).out);
            for (std::string id; ids >> id;) {
                if (id != main) return true;
            }
            std::this_thread::sleep_for(milliseconds(100));
        }
        return false;
    }
    static std::string FirstId(const Processes::Result& found) {
        std::istringstream ids(found.out);
        std::string id;
        ids >> id;
        return found.code == 0 ? id : std::string();
    }

    Clock::time_point deadline;
    std::string folder;
    std::optional<Processes> processes;
    pid_t xvfb = 0;
    std::string display;
};

TEST_F(XServerTest, TheWindowShowsTheAnalyzerTheDialogChangesTheAxisAndCtrlQDoesNotSave) {
    // Headless views of the two settings to compare the screen with.
    const std::string shortWav = folder + "/short.wav";
    WriteToneWav(shortWav, 330.0, 3.0, {{1, 7000.0}, {2, 3000.0}, {3, 1500.0}}, 300.0);
    const QImage logView = HeadlessView(kSettings, shortWav, "headless-log");
    const QImage linearView = HeadlessView(kLinearSettings, shortWav, "headless-linear");
    ASSERT_EQ(logView.size(), QSize(kViewWidth, kViewHeight));
    ASSERT_EQ(linearView.size(), QSize(kViewWidth, kViewHeight));
    ASSERT_GT(Mismatches(logView, QPoint(0, 0), linearView, kFrequencyAxis) / (kScale * kScale), 20)
        << "the two scales label the axis alike: nothing to tell them apart by";

    ASSERT_TRUE(StartXvfb()) << "no X server could be started";
    const std::string home = NewHome("windowed", kSettings);
    const std::string settingsPath = home + "/config/Quillo-SA/setting.txt";
    const std::optional<WindowedProgram> started = StartOnALongTone(home);
    ASSERT_TRUE(started.has_value());
    const pid_t program = started->pid;
    const std::string& window = started->window;
    const std::string programErr = folder + "/program.err";
    const Geometry g = started->geometry;
    // The picture at scale 3 exactly, the bar below it.
    ASSERT_EQ(g.width, kViewWidth * kScale);
    ASSERT_GT(g.height, kViewHeight * kScale + 10) << "no room for the bar";
    const QPoint origin(g.x, g.y);
    const QRect bar(g.x, g.y + kViewHeight * kScale, g.width, g.height - kViewHeight * kScale);

    // The analyzer runs: the log scale's axis from the settings file, a coloured spectrogram.
    QImage shot = ScreenshotWhen("running", 20000, [&](const QImage& s) {
        return StaticMismatches(s, origin, logView) == 0 &&
               ColouredSpectrogramPixels(s, origin) > 2000;
    });
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(StaticMismatches(shot, origin, logView), 0) << ReadFile(programErr);
    EXPECT_GT(ColouredSpectrogramPixels(shot, origin), 2000);
    EXPECT_GT(Mismatches(shot, origin, linearView, kFrequencyAxis), 0);

    // The bar: dark, with the drop-downs' names then the image buttons, left to right.
    int dark = 0;
    for (int y = bar.top(); y <= bar.bottom(); ++y) {
        for (int x = bar.left(); x <= bar.right(); ++x)
            dark += At(shot, x, y) == 0x383838;
    }
    EXPECT_GT(dark, bar.width() * bar.height() / 2) << "the bar is not shown";
    const std::vector<std::pair<int, int>> runs = LightColumnRuns(shot, bar);
    ASSERT_GE(runs.size(), 4u) << "Start, Control, Help and the image buttons";
    EXPECT_LT(runs[0].first - bar.left(), 30) << "the bar does not start with Start";
    EXPECT_GT(runs[1].second - runs[1].first, 20) << "not a word where Control should be";
    const int controlX = (runs[1].first + runs[1].second) / 2;
    const int barMiddle = bar.top() + bar.height() / 2;

    // Control, then Option (the fourth line, after a separator), as the keyboard reaches it.
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", window}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "mousemove", std::to_string(controlX), std::to_string(barMiddle),
                    "click", "1"})
                  .code,
              0);
    // Keys go to the open menu, whichever window has the X focus.
    ASSERT_TRUE(WaitForPopup(window, 10000)) << "the Control menu did not open";
    Screenshot("menu");
    ASSERT_EQ(Tool({"xdotool", "key", "Down", "Down", "Down", "Return"}).code, 0);
    const std::string dialog = WaitForWindow("^Setting$", 10000);
    ASSERT_FALSE(dialog.empty()) << "the Setting dialog did not open";
    Screenshot("dialog");

    // From OK, the first control, Tab reaches Cancel, then the scale group at its checked
    // button, Log; the arrow key moves to Linear and checks it. Enter presses OK.
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", dialog}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "key", "Tab", "Tab", "Right"}).code, 0);
    Screenshot("linear-chosen");
    ASSERT_EQ(Tool({"xdotool", "key", "Return"}).code, 0);

    // The picture now labels the linear axis, and the rest of the view is as before.
    shot = ScreenshotWhen("linear", 20000, [&](const QImage& s) {
        return StaticMismatches(s, origin, linearView) == 0;
    });
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(Mismatches(shot, origin, linearView, kFrequencyAxis), 0);
    EXPECT_EQ(StaticMismatches(shot, origin, linearView), 0);
    EXPECT_GT(ColouredSpectrogramPixels(shot, origin), 2000);
    // The readout band's blue frame, corner to corner.
    EXPECT_EQ(At(shot, origin.x(), origin.y() + 71 * kScale), 0x0000FFu);
    EXPECT_EQ(At(shot, origin.x() + 240 * kScale - 1, origin.y() + 85 * kScale - 1), 0x0000FFu);
    EXPECT_TRUE(FindWindow("^Setting$").empty()) << "the dialog is still open";

    // Ctrl+Q in the main window: the program ends with 0 and the file is as it was.
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", window}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "key", "ctrl+q"}).code, 0);
    const std::optional<int> code =
        processes->WaitUntil(program, std::min(deadline, Clock::now() + std::chrono::seconds(15)));
    ASSERT_TRUE(code.has_value()) << "Ctrl+Q did not end the program";
    EXPECT_EQ(*code, 0) << ReadFile(programErr);
    EXPECT_EQ(ReadFile(settingsPath), kSettings);
}

}  // namespace

namespace {

// View pixels (one sample at the centre of each) that differ between two screenshots.
int ChangedViewPixels(const QImage& a, const QImage& b, QPoint origin) {
    int changed = 0;
    for (int y = 0; y < kViewHeight; ++y) {
        for (int x = 0; x < kViewWidth; ++x) {
            const int sx = origin.x() + x * kScale + 1;
            const int sy = origin.y() + y * kScale + 1;
            changed += At(a, sx, sy) != At(b, sx, sy);
        }
    }
    return changed;
}

TEST_F(XServerTest, ThePictureRunsUnfocusedThePauseButtonFreezesItAndTheCloseButtonSaves) {
    ASSERT_TRUE(StartXvfb()) << "no X server could be started";
    const std::string home = NewHome("windowed", kSettings);
    const std::string settingsPath = home + "/config/Quillo-SA/setting.txt";
    const std::optional<WindowedProgram> started = StartOnALongTone(home);
    ASSERT_TRUE(started.has_value());
    const pid_t program = started->pid;
    const std::string& window = started->window;
    const std::string programErr = folder + "/program.err";
    const Geometry g = started->geometry;
    const QPoint origin(g.x, g.y);
    const QRect bar(g.x, g.y + kViewHeight * kScale, g.width, g.height - kViewHeight * kScale);
    QImage shot = ScreenshotWhen("running", 20000, [&](const QImage& s) {
        return ColouredSpectrogramPixels(s, origin) > 2000;
    });
    const std::vector<std::pair<int, int>> runs = LightColumnRuns(shot, bar);
    ASSERT_GE(runs.size(), 4u) << "Start, Control, Help and the image buttons";
    const int barMiddle = bar.top() + bar.height() / 2;
    // Started, the settings were read; what the close button leaves is what Exit saved.
    std::filesystem::remove(settingsPath);

    // Help, Content: the help window takes the focus, beside the main window.
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", window}).code, 0);
    const int helpX = (runs[2].first + runs[2].second) / 2;
    ASSERT_EQ(Tool({"xdotool", "mousemove", std::to_string(helpX), std::to_string(barMiddle),
                    "click", "1"})
                  .code,
              0);
    ASSERT_TRUE(WaitForPopup(window, 10000)) << "the Help menu did not open";
    ASSERT_EQ(Tool({"xdotool", "key", "Down", "Down", "Return"}).code, 0);
    const std::string help = WaitForWindow("^Quillo-SA Help$", 10000);
    ASSERT_FALSE(help.empty()) << "the help window did not open";
    ASSERT_EQ(Tool({"xdotool", "windowmove", help, std::to_string(g.x + g.width + 10), "0"}).code,
              0);
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", help}).code, 0);
    std::this_thread::sleep_for(milliseconds(300));
    const QImage unfocused1 = Screenshot("unfocused-1");
    std::this_thread::sleep_for(milliseconds(1000));
    const QImage unfocused2 = Screenshot("unfocused-2");
    EXPECT_GT(ChangedViewPixels(unfocused1, unfocused2, origin), 1000)
        << "the picture stopped when another window took the focus";
    // Escape closes the help window, as a desktop's viewers close.
    ASSERT_EQ(Tool({"xdotool", "key", "Escape"}).code, 0);
    const auto helpOpen = std::min(deadline, Clock::now() + std::chrono::seconds(5));
    while (Clock::now() < helpOpen && !FindWindow("^Quillo-SA Help$").empty())
        std::this_thread::sleep_for(milliseconds(100));
    EXPECT_TRUE(FindWindow("^Quillo-SA Help$").empty()) << "Escape left the help window open";

    // The pause button (the first image) freezes the picture until pressed again.
    const int pauseX = (runs[3].first + runs[3].second) / 2;
    const auto clickPause = [&] {
        return Tool({"xdotool", "mousemove", std::to_string(pauseX), std::to_string(barMiddle),
                     "click", "1"})
            .code;
    };
    ASSERT_EQ(clickPause(), 0);
    std::this_thread::sleep_for(milliseconds(300));
    const QImage paused1 = Screenshot("paused-1");
    std::this_thread::sleep_for(milliseconds(1000));
    const QImage paused2 = Screenshot("paused-2");
    EXPECT_EQ(ChangedViewPixels(paused1, paused2, origin), 0) << "the pause button froze nothing";
    ASSERT_EQ(clickPause(), 0);
    std::this_thread::sleep_for(milliseconds(1000));
    const QImage resumed = Screenshot("resumed");
    EXPECT_GT(ChangedViewPixels(paused2, resumed, origin), 1000) << "pressed again, it stays";

    // The window manager's close button: Exit, which saves, then the end with 0.
    ASSERT_TRUE(SendCloseRequest(display.c_str(), std::stoul(window)));
    const std::optional<int> code =
        processes->WaitUntil(program, std::min(deadline, Clock::now() + std::chrono::seconds(15)));
    ASSERT_TRUE(code.has_value()) << "the close button did not end the program";
    EXPECT_EQ(*code, 0) << ReadFile(programErr);
    EXPECT_EQ(ReadFile(settingsPath), kSettings);
}

// View pixels whose scale x scale square of `shot`, from `origin`, is not all the colour that
// `reference` shows the same view pixel in (at `referenceScale`, from `referenceOrigin`).
int WrongSquares(const QImage& shot, QPoint origin, int scale, const QImage& reference,
                 QPoint referenceOrigin, int referenceScale = kScale) {
    int wrong = 0;
    for (int y = 0; y < kViewHeight; ++y) {
        for (int x = 0; x < kViewWidth; ++x) {
            const int rx = referenceOrigin.x() + x * referenceScale;
            const int ry = referenceOrigin.y() + y * referenceScale;
            const QRgb expected = reference.valid(rx, ry) ? At(reference, rx, ry) : 0x1000000;
            bool same = true;
            for (int dy = 0; dy < scale; ++dy) {
                for (int dx = 0; dx < scale; ++dx) {
                    const int sx = origin.x() + x * scale + dx;
                    const int sy = origin.y() + y * scale + dy;
                    same = same && shot.valid(sx, sy) && At(shot, sx, sy) == expected;
                }
            }
            wrong += !same;
        }
    }
    return wrong;
}

// Pixels of `area` that differ between two screenshots.
int DifferingPixels(const QImage& a, const QImage& b, const QRect& area) {
    int differing = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            differing += !a.valid(x, y) || !b.valid(x, y) || At(a, x, y) != At(b, x, y);
    }
    return differing;
}

// The picture is a child window that the program draws through the X server itself, moving
// the spectrogram's plot there while nothing covers it. After running partly covered and then
// uncovered, paused (Space), it shows the picture that Save Picture writes, each view pixel a
// uniform 3 x 3 square; covered by another window and uncovered, it shows the same pixels
// again; made smaller, the same picture at scale 2, centred on black, and made large again,
// at 3 as before.
TEST_F(XServerTest, ThePictureDrawnByTheProgramStaysExactWhenUncoveredAndRescaled) {
    ASSERT_TRUE(StartXvfb()) << "no X server could be started";
    const std::string home = NewHome("native", kSettings);
    const std::optional<WindowedProgram> started = StartOnALongTone(home);
    ASSERT_TRUE(started.has_value());
    const std::string& window = started->window;
    const Geometry g = started->geometry;
    const QPoint origin(g.x, g.y);
    const QRect pictureArea(g.x, g.y, kViewWidth * kScale, kViewHeight * kScale);
    const std::vector<ChildWindow> children = ChildWindows(display.c_str(), std::stoul(window));
    EXPECT_EQ(std::count_if(children.begin(), children.end(),
                            [](const ChildWindow& c) {
                                return c.x == 0 && c.y == 0 && c.width == kViewWidth * kScale &&
                                       c.height == kViewHeight * kScale;
                            }),
              1)
        << "the picture is not a window of its own";
    ScreenshotWhen("running", 20000,
                   [&](const QImage& s) { return ColouredSpectrogramPixels(s, origin) > 2000; });

    // Running with the plot's right part covered (view columns 150 to 199), then uncovered:
    // the plot moves left out from under the cover while the picture cannot copy its own
    // pixels there, which would leave what was under the cover behind for a second and more.
    const QRect cover(g.x + 150 * kScale, g.y + 100 * kScale, 50 * kScale, 100 * kScale);
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", window}).code, 0);
    ASSERT_TRUE(
        CoverScreenArea(display.c_str(), cover.x(), cover.y(), cover.width(), cover.height()));
    std::this_thread::sleep_for(milliseconds(1000));
    RemoveCover();
    std::this_thread::sleep_for(milliseconds(200));
    ASSERT_EQ(Tool({"xdotool", "key", "space"}).code, 0);
    std::this_thread::sleep_for(milliseconds(500));
    const QImage paused = Screenshot("paused");
    std::this_thread::sleep_for(milliseconds(300));
    ASSERT_EQ(ChangedViewPixels(paused, Screenshot("still-paused"), origin), 0) << "not paused";
    EXPECT_GT(ColouredSpectrogramPixels(paused, origin), 2000);
    EXPECT_EQ(WrongSquares(paused, origin, kScale, paused, origin), 0);
    const std::string saved = folder + "/saved.png";
    ASSERT_EQ(Tool({"xdotool", "key", "ctrl+s"}).code, 0);
    const std::string save = WaitForWindow("^Save Picture$", 10000);
    ASSERT_FALSE(save.empty()) << "Ctrl+S opened no dialog";
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", save}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "key", "ctrl+a"}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "type", "--delay", "5", saved}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "key", "Return"}).code, 0);
    const auto saveUntil = std::min(deadline, Clock::now() + std::chrono::seconds(10));
    while (Clock::now() < saveUntil && !std::filesystem::exists(saved))
        std::this_thread::sleep_for(milliseconds(100));
    const QImage savedPicture =
        QImage(QString::fromStdString(saved)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(savedPicture.size(), QSize(kViewWidth, kViewHeight));
    EXPECT_EQ(WrongSquares(paused, origin, kScale, savedPicture, QPoint(0, 0), 1), 0);
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", window}).code, 0);

    ASSERT_TRUE(
        CoverScreenArea(display.c_str(), cover.x(), cover.y(), cover.width(), cover.height()));
    const QImage covered = Screenshot("covered");
    EXPECT_EQ(At(covered, cover.x() + 1, cover.y() + 1), 0xFFFFFFu) << "nothing covered it";
    RemoveCover();
    const QImage uncovered = ScreenshotWhen("uncovered", 5000, [&](const QImage& s) {
        return DifferingPixels(paused, s, pictureArea) == 0;
    });
    EXPECT_EQ(DifferingPixels(paused, uncovered, pictureArea), 0);

    // Scale 2 in a picture 40 device pixels wider and 30 taller than the view: margins of 20
    // and 15.
    const int bar = g.height - kViewHeight * kScale;
    ASSERT_EQ(Tool({"xdotool", "windowsize", window, std::to_string(kViewWidth * 2 + 40),
                    std::to_string(kViewHeight * 2 + 30 + bar)})
                  .code,
              0);
    const QPoint smaller(g.x + 20, g.y + 15);
    const QImage scaled = ScreenshotWhen("scale-2", 5000, [&](const QImage& s) {
        return WrongSquares(s, smaller, 2, paused, origin) == 0;
    });
    EXPECT_EQ(WrongSquares(scaled, smaller, 2, paused, origin), 0);
    int lit = 0;  // margin pixels that are not black
    const QRect shown(smaller, QSize(kViewWidth * 2, kViewHeight * 2));
    for (int y = g.y; y < g.y + kViewHeight * 2 + 30; ++y) {
        for (int x = g.x; x < g.x + kViewWidth * 2 + 40; ++x)
            lit += !shown.contains(x, y) && At(scaled, x, y) != 0;
    }
    EXPECT_EQ(lit, 0);

    ASSERT_EQ(
        Tool({"xdotool", "windowsize", window, std::to_string(g.width), std::to_string(g.height)})
            .code,
        0);
    const QImage again = ScreenshotWhen("scale-3-again", 5000, [&](const QImage& s) {
        return DifferingPixels(paused, s, pictureArea) == 0;
    });
    EXPECT_EQ(DifferingPixels(paused, again, pictureArea), 0);
    EXPECT_TRUE(processes->Running(started->pid));
}

// The bar's level meter draws itself in a window of its own, past Qt's backing store: on a
// pure tone (a steady reading) it shows, to the pixel, what Qt paints in its place, and shows
// it again where it was covered.
TEST_F(XServerTest, TheBarsMeterDrawsItselfAsQtPaintsItAndAgainWhenUncovered) {
    ASSERT_TRUE(StartXvfb()) << "no X server could be started";
    const std::string wav = folder + "/pure.wav";
    WriteToneWav(wav, 330.0, 60.0, {{1, 8000.0}}, 0.0);
    QImage meters[2];  // drawn by the meter itself, then by Qt
    for (int qt = 0; qt < 2; ++qt) {
        const std::string name = qt == 0 ? "own" : "qt";
        const std::optional<WindowedProgram> started =
            StartOn(NewHome(name, kSettings), wav, name, qt == 0 ? "" : "1");
        ASSERT_TRUE(started.has_value());
        const Geometry g = started->geometry;
        // The meter is the right end of the bar below the picture (the reading left of it
        // follows the pointer).
        const int barTop = g.y + kViewHeight * kScale;
        const QRect meter(g.x + g.width - 150, barTop, 150, g.height - kViewHeight * kScale);
        const auto lit = [&](const QImage& s) {  // the RMS bar's green is shown
            int green = 0;
            for (int y = meter.top(); y <= meter.bottom(); ++y) {
                for (int x = meter.left(); x <= meter.right(); ++x)
                    green += At(s, x, y) == 0x50E650u;
            }
            return green > 100;
        };
        QImage before = ScreenshotWhen(name + "-lit", 10000, lit);
        ASSERT_TRUE(lit(before)) << "no meter shown";
        // Steady: two screenshots a moment apart show the same meter.
        meters[qt] = ScreenshotWhen(name + "-steady", 5000, [&](const QImage& s) {
                         const bool same = DifferingPixels(before, s, meter) == 0;
                         before = s;
                         return same;
                     }).copy(meter);
        if (qt == 0) {
            ASSERT_TRUE(CoverScreenArea(display.c_str(), meter.x(), meter.y(), meter.width(),
                                        meter.height()));
            EXPECT_EQ(At(Screenshot("meter-covered"), meter.x() + 1, meter.y() + 1), 0xFFFFFFu);
            RemoveCover();
            const QImage uncovered = ScreenshotWhen("meter-uncovered", 5000, [&](const QImage& s) {
                return s.copy(meter) == meters[0];
            });
            EXPECT_EQ(DifferingPixels(uncovered.copy(meter), meters[0], meters[0].rect()), 0)
                << "not drawn again where it was covered";
        }
        processes->Stop(started->pid);
    }
    EXPECT_EQ(DifferingPixels(meters[0], meters[1], meters[0].rect()), 0);
}

TEST_F(XServerTest, ScaledByTwoTheWindowFitsAFullHdScreenWithItsBarAndSaysWhenTheInputEnds) {
    constexpr int kScreenWidth = 1920;
    constexpr int kScreenHeight = 1080;
    ASSERT_TRUE(StartXvfb("1920x1080x24")) << "no X server could be started";
    const std::string home = NewHome("scaled", kSettings);
    const std::string wav = folder + "/short.wav";
    WriteToneWav(wav, 330.0, 3.0, {{1, 7000.0}, {2, 3000.0}}, 300.0);
    UseEnvironment(home, true, "2");
    const pid_t program = processes->Start({QUILLO_PROGRAM, "--input", wav}, "program");
    ASSERT_NE(program, 0);
    const std::string programErr = folder + "/program.err";
    const std::string window = WaitForWindow("^Quillo-SA", 20000);
    ASSERT_FALSE(window.empty()) << "no window: " << ReadFile(programErr);
    const std::optional<Geometry> g =
        ParseGeometry(Tool({"xdotool", "getwindowgeometry", "--shell", window}).out);
    ASSERT_TRUE(g.has_value());
    EXPECT_LE(g->y + g->height, kScreenHeight) << "the window runs off the screen";
    EXPECT_LE(g->x + g->width, kScreenWidth);
    // The picture at a whole scale of device pixels, the bar below it on the screen.
    const int pictureHeight = kViewHeight * kScale;
    ASSERT_GT(g->height, pictureHeight + 40);
    const QRect bar(g->x, g->y + pictureHeight, g->width, g->height - pictureHeight);
    QImage shot = ScreenshotWhen(
        "scaled", 10000, [&](const QImage& s) { return LightColumnRuns(s, bar).size() >= 6; });
    int dark = 0;
    for (int y = bar.top(); y <= bar.bottom(); ++y) {
        for (int x = bar.left(); x <= bar.right(); ++x)
            dark += At(shot, x, y) == 0x383838;
    }
    EXPECT_GT(dark, bar.width() * bar.height() / 3) << "the bar is not shown";
    // Start, Control, Help, then pause, dB labels and the automatic range's light strokes.
    EXPECT_GE(LightColumnRuns(shot, bar).size(), 6u);

    // Once the file has played, the title says so; the picture stays as it was.
    std::string title;
    const auto until = std::min(deadline, Clock::now() + std::chrono::seconds(15));
    while (Clock::now() < until) {
        title = Tool({"xdotool", "getwindowname", window}).out;
        if (title.find("input ended") != std::string::npos) break;
        std::this_thread::sleep_for(milliseconds(200));
    }
    EXPECT_NE(title.find("Quillo-SA:Spectrogram"), std::string::npos) << title;
    EXPECT_NE(title.find("input ended"), std::string::npos) << title;
    EXPECT_TRUE(processes->Running(program));

    // After the end, Control, Spectrum Analyzer draws the spectrum view; its bar, wider by two
    // buttons, keeps the automatic range's red "A" on the screen.
    const QImage ended = Screenshot("ended");
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", window}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "key", "alt+c"}).code, 0);
    ASSERT_TRUE(WaitForPopup(window, 10000)) << "the Control menu did not open";
    ASSERT_EQ(Tool({"xdotool", "key", "Down", "Return"}).code, 0);
    const auto switched = std::min(deadline, Clock::now() + std::chrono::seconds(10));
    while (Clock::now() < switched && title.find("Quillo-SA:Spectrum ") == std::string::npos) {
        title = Tool({"xdotool", "getwindowname", window}).out;
        std::this_thread::sleep_for(milliseconds(100));
    }
    ASSERT_NE(title.find("Quillo-SA:Spectrum "), std::string::npos) << title;
    std::this_thread::sleep_for(milliseconds(500));
    const QImage spectrum = Screenshot("spectrum-after-the-end");
    EXPECT_GT(ChangedViewPixels(ended, spectrum, QPoint(g->x, g->y)), 1000)
        << "the old picture stays under the new title";
    const std::optional<Geometry> wider =
        ParseGeometry(Tool({"xdotool", "getwindowgeometry", "--shell", window}).out);
    ASSERT_TRUE(wider.has_value());
    int red = 0;
    for (int y = g->y + pictureHeight; y < wider->y + wider->height; ++y) {
        for (int x = wider->x; x < wider->x + wider->width; ++x) {
            const QRgb c = At(spectrum, x, y);
            red += qRed(c) > 200 && qGreen(c) < 120 && qBlue(c) < 120;
        }
    }
    EXPECT_GT(red, 20) << "the automatic-range button is not on the bar";
}

}  // namespace

namespace {

// After a file has ended, F shows the full view of the file's last seconds, and F again the
// handheld picture of them: each switch plays the end again, and the title says it ended.
TEST_F(XServerTest, AfterTheInputEndedEachPictureSwitchedToShowsTheFilesEnd) {
    ASSERT_TRUE(StartXvfb()) << "no X server could be started";
    const std::string home = NewHome("ended", kSettings);
    const std::string wav = folder + "/short.wav";
    WriteToneWav(wav, 330.0, 2.0, {{1, 7000.0}, {2, 3000.0}}, 300.0);
    UseEnvironment(home, true);
    const pid_t program = processes->Start({QUILLO_PROGRAM, "--input", wav}, "program");
    ASSERT_NE(program, 0);
    const std::string window = WaitForWindow("^Quillo-SA", 20000);
    ASSERT_FALSE(window.empty()) << "no window: " << ReadFile(folder + "/program.err");
    const auto title = [&] { return Tool({"xdotool", "getwindowname", window}).out; };
    const auto ended = [&] { return title().find("input ended") != std::string::npos; };
    // Waits until the file plays again and then until it has ended again.
    const auto playedAgainToItsEnd = [&] {
        const auto until = std::min(deadline, Clock::now() + std::chrono::seconds(15));
        bool playing = false;
        while (Clock::now() < until) {
            playing = playing || !ended();
            if (playing && ended()) return true;
            std::this_thread::sleep_for(milliseconds(50));
        }
        return false;
    };
    const auto origin = [&] {  // the handheld picture, at scale 3, centred in the window
        const std::optional<Geometry> g =
            ParseGeometry(Tool({"xdotool", "getwindowgeometry", "--shell", window}).out);
        return g ? QPoint(g->x + (g->width - kViewWidth * kScale) / 2, g->y) : QPoint();
    };
    const auto until = std::min(deadline, Clock::now() + std::chrono::seconds(15));
    while (Clock::now() < until && !ended())
        std::this_thread::sleep_for(milliseconds(100));
    ASSERT_TRUE(ended()) << title();
    const int atTheEnd = ColouredSpectrogramPixels(Screenshot("handheld-ended"), origin());
    ASSERT_GT(atTheEnd, 300) << "the tone is not drawn";

    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", window}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "key", "f"}).code, 0);
    ASSERT_TRUE(playedAgainToItsEnd()) << title();
    const std::optional<Geometry> g =
        ParseGeometry(Tool({"xdotool", "getwindowgeometry", "--shell", window}).out);
    ASSERT_TRUE(g.has_value());
    // The full view's spectrogram shows the tone in its newest seconds (the right quarter,
    // left of the legend, below the readout).
    const QImage full = Screenshot("full-ended");
    int coloured = 0;
    for (int y = g->y + 200; y < g->y + g->height - 100; y += 2) {
        for (int x = g->x + g->width * 3 / 4; x < g->x + g->width - 120; x += 2) {
            const QRgb c = At(full, x, y);
            coloured += !(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c));
        }
    }
    EXPECT_GT(coloured, 300) << "the full view is empty after the end";

    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", window}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "key", "f"}).code, 0);
    ASSERT_TRUE(playedAgainToItsEnd()) << title();
    std::this_thread::sleep_for(milliseconds(300));
    const int again = ColouredSpectrogramPixels(Screenshot("handheld-again"), origin());
    EXPECT_GT(again, atTheEnd / 2) << "the handheld picture is empty after the switch back";
    EXPECT_TRUE(processes->Running(program));
}

TEST_F(XServerTest, CtrlOPlaysAnotherFileCtrlSSavesThePictureAndThePointerIsReadInTheBar) {
    ASSERT_TRUE(StartXvfb()) << "no X server could be started";
    const std::string home = NewHome("extras", kSettings);
    const std::string first = folder + "/first.wav";
    const std::string second = folder + "/second.wav";
    WriteToneWav(first, 330.0, 60.0, {{1, 7000.0}}, 300.0);
    WriteToneWav(second, 880.0, 60.0, {{1, 7000.0}}, 300.0);
    UseEnvironment(home, true);
    const pid_t program = processes->Start({QUILLO_PROGRAM, "--input", first}, "program");
    ASSERT_NE(program, 0);
    const std::string programErr = folder + "/program.err";
    const std::string window = WaitForWindow("^Quillo-SA", 20000);
    ASSERT_FALSE(window.empty()) << "no window: " << ReadFile(programErr);
    EXPECT_NE(Tool({"xdotool", "getwindowname", window}).out.find("first.wav"), std::string::npos);
    const std::optional<Geometry> g =
        ParseGeometry(Tool({"xdotool", "getwindowgeometry", "--shell", window}).out);
    ASSERT_TRUE(g.has_value());
    const QRect bar(g->x, g->y + kViewHeight * kScale, g->width, g->height - kViewHeight * kScale);

    // Ctrl+O, the file's name typed into the dialog, Enter: the second file plays.
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", window}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "key", "ctrl+o"}).code, 0);
    const std::string open = WaitForWindow("^Open File$", 10000);
    ASSERT_FALSE(open.empty()) << "Ctrl+O opened no dialog";
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", open}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "type", "--delay", "5", second}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "key", "Return"}).code, 0);
    std::string title;
    const auto until = std::min(deadline, Clock::now() + std::chrono::seconds(10));
    while (Clock::now() < until && title.find("second.wav") == std::string::npos) {
        title = Tool({"xdotool", "getwindowname", window}).out;
        std::this_thread::sleep_for(milliseconds(100));
    }
    EXPECT_NE(title.find("Quillo-SA:Spectrogram \u2014 second.wav"), std::string::npos) << title;

    // The pointer over the spectrogram: its reading appears in the bar, right of the buttons.
    const int runsBefore = static_cast<int>(LightColumnRuns(Screenshot("no-reading"), bar).size());
    ASSERT_EQ(Tool({"xdotool", "mousemove", std::to_string(g->x + 100 * kScale),
                    std::to_string(g->y + 150 * kScale)})
                  .code,
              0);
    const QImage read = ScreenshotWhen("reading", 5000, [&](const QImage& s) {
        return static_cast<int>(LightColumnRuns(s, bar).size()) > runsBefore;
    });
    const std::vector<std::pair<int, int>> runs = LightColumnRuns(read, bar);
    ASSERT_GT(static_cast<int>(runs.size()), runsBefore) << "no reading in the bar";
    EXPECT_GT(runs.back().first, bar.left() + bar.width() / 2) << "the reading is not at the right";

    // Ctrl+S, a name typed, Enter: the picture as the window shows it, 240 x 268.
    const std::string saved = folder + "/saved.png";
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", window}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "key", "ctrl+s"}).code, 0);
    const std::string save = WaitForWindow("^Save Picture$", 10000);
    ASSERT_FALSE(save.empty()) << "Ctrl+S opened no dialog";
    ASSERT_EQ(Tool({"xdotool", "windowfocus", "--sync", save}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "key", "ctrl+a"}).code, 0);  // the offered name, replaced
    ASSERT_EQ(Tool({"xdotool", "type", "--delay", "5", saved}).code, 0);
    ASSERT_EQ(Tool({"xdotool", "key", "Return"}).code, 0);
    const auto saveUntil = std::min(deadline, Clock::now() + std::chrono::seconds(10));
    while (Clock::now() < saveUntil && !std::filesystem::exists(saved))
        std::this_thread::sleep_for(milliseconds(100));
    const QImage picture(QString::fromStdString(saved));
    EXPECT_EQ(picture.size(), QSize(kViewWidth, kViewHeight)) << ReadFile(programErr);
    EXPECT_TRUE(processes->Running(program));
}

}  // namespace
