// SPDX-License-Identifier: GPL-3.0-or-later
// The window's extras in the real program, run in this process on Qt's offscreen platform
// with generated recordings played in real time: a dropped file and one opened with Ctrl+O
// replace the input (the views start afresh, the title names it), a broken file or an unknown
// input is "Sound input failed!" with its reason while the first input plays on, Ctrl+S saves
// the picture as --snapshot writes it, and the pointer over a tone's peak reads the tone's
// frequency within one column. With a private PulseAudio, the Input menu lists its inputs and
// the one chosen is remembered for the next start.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "capture/audio_source.h"
#include "platform/audio/audio_file_formats.h"
#include "platform/audio/audio_sources.h"
#include "platform/qt/level_meter_view.h"
#include "platform/qt/qt_host.h"
#include "platform/qt/window_extras.h"
#include "program/input_switch.h"
#include "program/levels_export.h"
#include "program/pointer_reading.h"
#include "program/program_options.h"
#include "raster/display_backend.h"
#include "resources/resources.h"
#include "shell/capture_notice.h"
#include "shell/choices.h"
#include "shell/host.h"
#include "shell/picture_mode.h"
#include "shell/pipeline.h"
#include "shell/startup.h"
#include "tests/support/level_rows.h"
#include "tests/support/program_files.h"
#include "views/axes.h"

namespace {

std::string Home;  // this run's HOME, XDG_CONFIG_HOME and runtime folder live below it

std::string Title() {
    return MainWindowWidget() != nullptr ? MainWindowWidget()->windowTitle().toStdString() : "";
}

// Runs the event loop until `done` holds or `ms` have passed; whether it holds.
bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    for (int waited = 0; waited < ms && !done(); waited += 20)
        QTest::qWait(20);
    return done();
}

bool WaitForBlocks(long long more) {
    const long long until = BlockCounter.blocks + more;
    return WaitFor([until] { return BlockCounter.blocks >= until; });
}

// The bin holding the most power of the newest spectrum.
int LoudestBin() {
    int loudest = 1;
    for (int k = 1; k < 512; k++) {
        if (PowerSpectrumLate[k] > PowerSpectrumLate[loudest]) loudest = k;
    }
    return loudest;
}

// Waits until the newest spectrum is loudest at `hz`, within a bin: under load the window
// reads blocks behind a backlog without analysing them, so blocks alone do not say it.
bool WaitForLoudestAt(double hz) {
    return WaitFor([hz] { return std::abs(LoudestBin() - hz / (22050.0 / 1024)) <= 1.0; });
}

// Runs `act` on the next modal window of type T once it is up (dialogs and boxes run loops
// of their own).
template <typename T>
void OnNextModal(std::function<void(T*)> act) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (T* modal = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(modal);
        }
    });
    poll->start(20);
}

// Answers the next message box with OK, keeping its text.
void AnswerNextBox(std::string* text) {
    OnNextModal<QMessageBox>([text](QMessageBox* box) {
        *text = box->text().toStdString();
        box->accept();
    });
}

// Types the path into the dialog's name field, as a user does, and presses its button.
void TypeFileName(QFileDialog* dialog, const std::string& path) {
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(path));
    static_cast<QDialog*>(dialog)->accept();
}

void ChooseInNextFileDialog(const std::string& path) {
    OnNextModal<QFileDialog>([path](QFileDialog* dialog) { TypeFileName(dialog, path); });
}

// Whether a timer of the program's own runs: one that fires while nothing happens wakes the
// program for nothing.
bool ProgramTimerRuns() {
    for (const QTimer* timer : qApp->findChildren<QTimer*>()) {
        if (timer->isActive()) return true;
    }
    return false;
}

std::vector<uintptr_t> Commands;
void RecordCommand(unsigned message, uintptr_t wParam, intptr_t) {
    if (message == WM_COMMAND) Commands.push_back(wParam);
}

class WindowExtrasTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = Home + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(folder);
        std::filesystem::remove(ChoicesFilePath());
        ResetProgramState();
        ArmCaptureNotify();
        Commands.clear();
        SetPostedMessageObserver(RecordCommand);
    }
    void TearDown() override {
        SetPostedMessageObserver(nullptr);
        SetMicrophoneName(nullptr);
        std::filesystem::remove(ChoicesFilePath());
    }

    // Runs the program on `file` (played in real time) with `script`, which ends it.
    void RunOn(const std::string& file, const std::function<void()>& script) {
        std::string reason;
        ASSERT_TRUE(LoadAudioFile(file.c_str(), 22050, AudioFilePacing::kRealTime, &reason))
            << reason;
        SetAudioSource(&AudioFileSource);
        StartOnFile(file.c_str());
        QTimer::singleShot(0, [script] {
            script();
            if (MainWindowWidget() != nullptr) PostMainWindowMessage(WM_CLOSE);
        });
        RunProgram();
    }

    std::string Tone(const char* name, double hz) {
        const std::string path = folder + "/" + name;
        WriteToneWav(path, hz, 20.0, {{1, 12000.0}}, 50.0);
        return path;
    }

    std::string folder;
};

TEST_F(WindowExtrasTest, ADroppedFilePlaysAndABrokenOneOpenedWithCtrlOIsRefusedWhileItPlaysOn) {
    const std::string first = Tone("first.wav", 1000.0);
    const std::string second = Tone("second.wav", 440.0);
    const std::string broken = folder + "/broken.wav";
    WriteFile(broken, "RIFF....WAVE, but nothing of a wave after it");
    RunOn(first, [&] {
        ASSERT_TRUE(WaitForBlocks(8));
        EXPECT_EQ(Title(), "Quillo-SA:Spectrogram \u2014 first.wav");
        EXPECT_TRUE(WaitForLoudestAt(1000.0)) << "loudest bin " << LoudestBin();

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(second))});
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        // As a drag does: it enters (and is taken), then drops.
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(MainWindowWidget(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QApplication::sendEvent(MainWindowWidget(), &drop);
        EXPECT_TRUE(drop.isAccepted());
        ASSERT_TRUE(WaitFor([] { return Title() == "Quillo-SA:Spectrogram \u2014 second.wav"; }))
            << Title();
        // The view starts afresh, as its own command makes it.
        EXPECT_TRUE(WaitFor([] {
            return std::find(Commands.begin(), Commands.end(), kCommandSpectrogram) !=
                   Commands.end();
        }));
        ASSERT_TRUE(WaitForBlocks(8));
        EXPECT_TRUE(WaitForLoudestAt(440.0)) << "loudest bin " << LoudestBin();

        std::string box;
        ChooseInNextFileDialog(broken);
        AnswerNextBox(&box);
        QTest::keyClick(MainWindowPicture(), Qt::Key_O, Qt::ControlModifier);
        ASSERT_TRUE(WaitFor([&] { return !box.empty(); })) << "no box";
        EXPECT_EQ(box.rfind("Sound input failed!\n", 0), 0u) << box;
        EXPECT_NE(box.find("broken.wav"), std::string::npos) << box;
        // The second file plays on, the title still names it.
        EXPECT_EQ(Title(), "Quillo-SA:Spectrogram \u2014 second.wav");
        ASSERT_TRUE(WaitForBlocks(8)) << "nothing plays after the refusal";
        EXPECT_TRUE(WaitForLoudestAt(440.0)) << "loudest bin " << LoudestBin();
    });
    EXPECT_FALSE(std::filesystem::exists(ChoicesFilePath())) << "a file is not remembered";
}

TEST_F(WindowExtrasTest, AnInputThatCannotOpenIsRefusedAndTheFileBeforePlaysAgain) {
    RunOn(Tone("tone.wav", 1000.0), [&] {
        ASSERT_TRUE(WaitForBlocks(4));
        std::string box;
        AnswerNextBox(&box);
        EXPECT_FALSE(SwitchToDevice("Nowhere [quillo_no_such_input]"));
        // The box gives the sound system's own reason under the described text.
        EXPECT_EQ(box.rfind("Sound input failed!\n", 0), 0u) << box;
        EXPECT_NE(box.find("quillo_no_such_input"), std::string::npos) << box;
        EXPECT_EQ(Title(), "Quillo-SA:Spectrogram \u2014 tone.wav");
        EXPECT_TRUE(WaitForBlocks(8)) << "the file does not play again";
    });
    EXPECT_FALSE(std::filesystem::exists(ChoicesFilePath()));
}

// The end is looked for only while a file plays: once the window has said it ended, nothing
// of the program's wakes it any more.
TEST_F(WindowExtrasTest, AFileThatHasEndedIsNamedSoAndNoTimerRunsAfter) {
    const std::string path = folder + "/short.wav";
    WriteToneWav(path, 1000.0, 1.0, {{1, 12000.0}}, 50.0);
    RunOn(path, [&] {
        EXPECT_TRUE(ProgramTimerRuns()) << "nothing looks for the end of the file";
        ASSERT_TRUE(WaitFor([] { return Title().find("input ended") != std::string::npos; }))
            << Title();
        EXPECT_EQ(Title(), "Quillo-SA:Spectrogram \u2014 short.wav, input ended");
        EXPECT_FALSE(ProgramTimerRuns());
        // Played again from its start, it is watched again.
        ASSERT_TRUE(SwitchToFile(path.c_str()));
        EXPECT_EQ(Title(), "Quillo-SA:Spectrogram \u2014 short.wav");
        EXPECT_TRUE(ProgramTimerRuns());
    });
}

// A window whose microphone cannot be opened stays, with nothing playing, and says why; a file
// chosen afterwards plays. A switch that fails then leaves nothing playing, and says why too.
TEST_F(WindowExtrasTest, AWindowWithoutAnInputStaysAndPlaysAFileChosenAfterwards) {
    std::string box;
    AnswerNextBox(&box);
    StartOnMicrophone("quillo_no_such_input");
    SetAudioSource(&MicrophoneSource);
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(WaitFor([&] { return !box.empty(); })) << "no box";
        EXPECT_EQ(box.rfind("Sound input failed!\n", 0), 0u) << box;
        EXPECT_NE(box.find("quillo_no_such_input"), std::string::npos) << box;
        EXPECT_NE(MainWindowWidget(), nullptr) << "the window closed";
        EXPECT_EQ(Title(), "Quillo-SA:Spectrogram \u2014 nothing plays");

        std::string refused;
        AnswerNextBox(&refused);
        EXPECT_FALSE(SwitchToDevice("Nowhere [quillo_no_such_input]"));
        EXPECT_EQ(refused.rfind("Sound input failed!\n", 0), 0u) << refused;
        EXPECT_EQ(Title(), "Quillo-SA:Spectrogram \u2014 nothing plays");

        EXPECT_TRUE(SwitchToFile(Tone("tone.wav", 1000.0).c_str()));
        ASSERT_TRUE(WaitForBlocks(8)) << "the file chosen does not play";
        EXPECT_EQ(Title(), "Quillo-SA:Spectrogram \u2014 tone.wav");
        EXPECT_TRUE(WaitForLoudestAt(1000.0)) << "loudest bin " << LoudestBin();
        if (MainWindowWidget() != nullptr) PostMainWindowMessage(WM_CLOSE);
    });
    EXPECT_EQ(RunProgram(), 0);
}

// Once a file has ended no block presents the picture: the commands present what they draw.
TEST_F(WindowExtrasTest, AViewSwitchAfterTheFileEndedDrawsTheNewView) {
    const std::string path = folder + "/short.wav";
    WriteToneWav(path, 1000.0, 1.0, {{1, 12000.0}}, 50.0);
    RunOn(path, [&] {
        ASSERT_TRUE(WaitFor([] { return Title().find(", input ended") != std::string::npos; }))
            << Title();
        const QImage ended = ViewAreaImage();
        PostMainWindowMessage(WM_COMMAND, kCommandSpectrum);
        ASSERT_TRUE(WaitFor([] { return Title().rfind("Quillo-SA:Spectrum ", 0) == 0; }));
        QTest::qWait(100);
        // The spectrogram's colour legend (under the plot) is gone, the spectrum's empty plot
        // drawn in its place.
        const QImage switched = ViewAreaImage();
        int changed = 0;
        for (int y = 0; y < switched.height(); y++)
            for (int x = 0; x < switched.width(); x++)
                changed += switched.pixel(x, y) != ended.pixel(x, y);
        EXPECT_GT(changed, 1000) << "the old picture stays under the new title";
    });
}

TEST_F(WindowExtrasTest, CtrlSSavesThePictureAsTheSnapshotWritesItUnderADatedNameInPictures) {
    const std::string pictures = Home + "/Pictures";
    std::filesystem::create_directories(pictures);
    const std::string saved = folder + "/saved.png";
    const std::string snapshot = folder + "/snapshot.png";
    RunOn(Tone("tone.wav", 1000.0), [&] {
        ASSERT_TRUE(WaitForBlocks(10));
        PostMainWindowMessage(WM_COMMAND, kCommandPause);  // the picture stays as it is
        QTest::qWait(200);
        QString offered;
        OnNextModal<QFileDialog>([&](QFileDialog* dialog) {
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            offered = dialog->directory().filePath(name != nullptr ? name->text() : QString());
            TypeFileName(dialog, saved);
        });
        QTest::keyClick(MainWindowPicture(), Qt::Key_S, Qt::ControlModifier);
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(saved); }));
        char reason[512];
        ASSERT_TRUE(WriteViewSnapshot(snapshot.c_str(), reason, sizeof reason)) << reason;
        const QFileInfo name(offered);
        EXPECT_EQ(name.absolutePath().toStdString(), pictures);
        EXPECT_TRUE(QRegularExpression(R"(^Quillo-SA \d{4}-\d\d-\d\d \d\d-\d\d-\d\d\.png$)")
                        .match(name.fileName())
                        .hasMatch())
            << name.fileName().toStdString();
    });
    const QImage a(QString::fromStdString(saved));
    const QImage b(QString::fromStdString(snapshot));
    ASSERT_EQ(a.size(), QSize(240, 268));
    EXPECT_EQ(a.convertToFormat(QImage::Format_RGB32), b.convertToFormat(QImage::Format_RGB32));
    int lit = 0;
    for (int y = 86; y < 256; y++)
        for (int x = 0; x < 202; x++)
            lit += (a.pixel(x, y) & 0xFFFFFF) != 0;
    EXPECT_GT(lit, 100) << "the saved picture shows no spectrogram";
}

// While a picture source answers (the full view shown), Ctrl+S and Ctrl+Shift+S save its
// picture as it is; when it declines, the view area as before.
bool SourceAnswers = false;
QImage SourcePicture() {
    QImage picture(320, 180, QImage::Format_RGB32);
    picture.fill(QColor(12, 200, 40));
    picture.setPixel(5, 7, qRgb(255, 0, 0));
    return picture;
}
bool ShownSource(QImage* picture) {
    if (SourceAnswers) *picture = SourcePicture();
    return SourceAnswers;
}

TEST_F(WindowExtrasTest, APictureSourceThatAnswersIsWhatBothSaveCommandsWrite) {
    const std::string saved = folder + "/shown.png";
    const std::string scaled = folder + "/shown-scaled.png";
    const std::string area = folder + "/area.png";
    SetShownPictureSource(ShownSource);
    RunOn(Tone("tone.wav", 1000.0), [&] {
        ASSERT_TRUE(WaitForBlocks(4));
        SourceAnswers = true;
        OnNextModal<QFileDialog>([&](QFileDialog* dialog) { TypeFileName(dialog, saved); });
        QTest::keyClick(MainWindowPicture(), Qt::Key_S, Qt::ControlModifier);
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(saved); }));
        ASSERT_TRUE(WaitFor([] { return QApplication::activeModalWidget() == nullptr; }));
        OnNextModal<QFileDialog>([&](QFileDialog* dialog) { TypeFileName(dialog, scaled); });
        SavePictureAtWindowScale();  // as Ctrl+Shift+S, which a window left inactive misses
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(scaled); }));
        SourceAnswers = false;
        OnNextModal<QFileDialog>([&](QFileDialog* dialog) { TypeFileName(dialog, area); });
        SavePicture();
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(area); }));
    });
    SetShownPictureSource(nullptr);
    for (const std::string& path : {saved, scaled}) {
        EXPECT_EQ(QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32),
                  SourcePicture())
            << path;
    }
    EXPECT_EQ(QImage(QString::fromStdString(area)).size(), QSize(240, 268));
}

// A picture that cannot be written (its folder is gone) is said in a box, with the path and
// the reason, and the program plays on.
TEST_F(WindowExtrasTest, APictureThatCannotBeSavedIsSaidInABoxWithItsPathAndReason) {
    const std::string gone = folder + "/gone/saved.png";
    std::string box;
    RunOn(Tone("tone.wav", 1000.0), [&] {
        ASSERT_TRUE(WaitForBlocks(4));
        OnNextModal<QFileDialog>([&](QFileDialog* dialog) { TypeFileName(dialog, gone); });
        AnswerNextBox(&box);
        QTest::keyClick(MainWindowPicture(), Qt::Key_S, Qt::ControlModifier);
        ASSERT_TRUE(WaitFor([&] { return !box.empty(); })) << "no box";
        EXPECT_TRUE(WaitForBlocks(4)) << "nothing plays after the box";
    });
    EXPECT_EQ(box.rfind("The picture was not saved.\n" + gone + ": ", 0), 0u) << box;
    EXPECT_GT(box.size(), ("The picture was not saved.\n" + gone + ": ").size()) << box;
}

// The last item of the Control menu: Export Spectrum..., after every described item.
QAction* ExportSpectrumItem() {
    for (QMenu* menu : MainWindowWidget()->findChildren<QMenu*>()) {
        const QList<QAction*> items = menu->actions();
        for (QAction* action : items) {
            if (action->text() != "Export Spectrum...") continue;
            EXPECT_EQ(action, items.back());
            return action;
        }
    }
    return nullptr;
}

// Export Spectrum... writes the handheld picture's bins in the shown picture's dB, and says in a
// box why it could not: a missing folder, a file too large, which leaves the old file whole.
TEST_F(WindowExtrasTest, ExportSpectrumWritesTheBinsShownAndAFailureKeepsTheOldFile) {
    EnableSpectrumExport(ProgramOptions{});
    const std::string saved = folder + "/spectrum";  // the dialog's ".csv" is added
    const std::string kept = folder + "/kept.csv";
    WriteFile(kept, "an older export\n");
    std::string missingBox, tooLargeBox;
    RunOn(Tone("tone.wav", 1000.0), [&] {
        ASSERT_TRUE(WaitForBlocks(8));
        QAction* item = ExportSpectrumItem();
        ASSERT_NE(item, nullptr);
        ChooseInNextFileDialog(saved);
        item->trigger();
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(saved + ".csv"); }));

        ASSERT_TRUE(WaitFor([] { return QApplication::activeModalWidget() == nullptr; }));
        ChooseInNextFileDialog(folder + "/missing/x.csv");
        AnswerNextBox(&missingBox);
        item->trigger();
        ASSERT_TRUE(WaitFor([&] { return !missingBox.empty(); })) << "no box";

        // A 4 KiB limit on file sizes: the export, several times that, fails in its middle.
        ASSERT_TRUE(WaitFor([] { return QApplication::activeModalWidget() == nullptr; }));
        ChooseInNextFileDialog(kept);
        OnNextModal<QMessageBox>([&](QMessageBox* replace) {  // the dialog's "Replace it?"
            AnswerNextBox(&tooLargeBox);
            replace->button(QMessageBox::Yes)->click();
        });
        rlimit usual{};
        getrlimit(RLIMIT_FSIZE, &usual);
        const rlimit small = {4096, usual.rlim_max};
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        item->trigger();
        const bool said = WaitFor([&] { return !tooLargeBox.empty(); });
        setrlimit(RLIMIT_FSIZE, &usual);
        signal(SIGXFSZ, SIG_DFL);
        ASSERT_TRUE(said) << "no box";
    });
    std::vector<SpectrumRow> rows;
    std::string why;
    ASSERT_TRUE(ReadSpectrumRows(ReadFile(saved + ".csv"), &rows, &why)) << why;
    const double binHz = 22050.0 / 1024;  // the default settings' full band
    ASSERT_EQ(rows.size(), 513u);
    EXPECT_EQ(rows[1].hz, binHz);
    EXPECT_NEAR(LoudestRow(rows).hz, 1000.0, binHz);
    // 12000 of 32768 is 8.7 dB under full scale; the handheld's scale puts full scale near
    // 100 dB less its window's loss.
    EXPECT_GT(LoudestRow(rows).db, 60.0);
    EXPECT_LT(LoudestRow(rows).db, 100.0);
    EXPECT_EQ(missingBox, "The spectrum was not exported.\n" + folder +
                              "/missing/x.csv: No such file or directory");
    EXPECT_EQ(tooLargeBox, "The spectrum was not exported.\n" + kept + ": File too large");
    EXPECT_EQ(ReadFile(kept), "an older export\n");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"kept.csv", "spectrum.csv", "tone.wav"}));
}

// Ctrl+Shift+S: the same picture with every screen pixel a square of the window's scale.
TEST_F(WindowExtrasTest, CtrlShiftSSavesThePictureAtTheWindowsScale) {
    const std::string saved = folder + "/scaled.png";
    const std::string snapshot = folder + "/snapshot.png";
    int scale = 0;
    RunOn(Tone("tone.wav", 1000.0), [&] {
        ASSERT_TRUE(WaitForBlocks(10));
        PostMainWindowMessage(WM_COMMAND, kCommandPause);  // the picture stays as it is
        QTest::qWait(200);
        scale = WindowPictureScale();
        OnNextModal<QFileDialog>([&](QFileDialog* dialog) { TypeFileName(dialog, saved); });
        QTest::keyClick(MainWindowPicture(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(saved); }));
        char reason[512];
        ASSERT_TRUE(WriteViewSnapshot(snapshot.c_str(), reason, sizeof reason)) << reason;
    });
    ASSERT_GE(scale, 2) << "at scale 1 both pictures would be the same whatever the scaling";
    const QImage a = QImage(QString::fromStdString(saved)).convertToFormat(QImage::Format_RGB32);
    const QImage b = QImage(QString::fromStdString(snapshot)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(a.size(), QSize(240 * scale, 268 * scale));
    int differing = 0;
    for (int y = 0; y < a.height(); y++)
        for (int x = 0; x < a.width(); x++)
            differing += a.pixel(x, y) != b.pixel(x / scale, y / scale);
    EXPECT_EQ(differing, 0);
}

// The column of the spectrum view where the traces reach highest (left of the dB scale).
int PeakColumn() {
    int best = -1;
    int bestRow = 256;
    for (int x = 0; x < 207; x++) {
        for (int y = 86; y < bestRow; y++) {
            if (WindowScreenPixel(x, 26 + y) != 0) {
                best = x;
                bestRow = y;
                break;
            }
        }
    }
    return best;
}

TEST_F(WindowExtrasTest, ThePointerOnATonesPeakReadsItsFrequencyWithinOneColumnAndLeavingClearsIt) {
    RunOn(Tone("tone.wav", 1000.0), [&] {
        ASSERT_TRUE(WaitForBlocks(4));
        PostMainWindowMessage(WM_COMMAND, kCommandSpectrum);
        ASSERT_TRUE(WaitForBlocks(16));
        PostMainWindowMessage(WM_COMMAND, kCommandPause);
        QTest::qWait(200);
        const int x = PeakColumn();
        ASSERT_GT(x, 0);
        QWidget* picture = MainWindowPicture();
        const int scale = PictureScale(picture->width(), picture->height());
        const QPoint at((picture->width() - 240 * scale) / 2 + x * scale + scale / 2,
                        (picture->height() - 268 * scale) / 2 + 170 * scale + scale / 2);
        QTest::mouseMove(picture, at);
        auto* readout = MainWindowWidget()->findChild<QLabel*>("cursorReadout");
        ASSERT_NE(readout, nullptr);
        ASSERT_TRUE(WaitFor([&] { return !readout->text().isEmpty(); }, 2000));
        const QString text = readout->text();
        const QRegularExpressionMatch read =
            QRegularExpression(R"(^(\d+(\.\d\d)?) (k?)Hz  \d+ dB$)").match(text);
        ASSERT_TRUE(read.hasMatch()) << text.toStdString();
        const double hz = read.captured(1).toDouble() * (read.captured(3) == "k" ? 1000 : 1);
        const double column =
            (ColumnMap.columnPosition[x + 1] - ColumnMap.columnPosition[x]) * (22050.0 / 1024);
        EXPECT_NEAR(hz, 1000.0, column) << x << ": " << text.toStdString();

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(picture, &leave);
        EXPECT_TRUE(readout->text().isEmpty());
    });
}

// The input remembered before choices.txt existed is read from input.txt, once; --device
// wins over it, and one that is not listed here any more gives way to the default input.
TEST(InputChoice, DeviceWinsOverTheRememberedInputAndAGoneOneFallsBackToTheDefault) {
    const std::string former =
        std::filesystem::path(SettingsFilePath()).replace_filename("input.txt").string();
    WriteFile(former, "Gone [quillo_gone_input]\n");
    std::filesystem::remove(ChoicesFilePath());
    ResetChoices();
    StartOnMicrophone("given");
    EXPECT_STREQ(InputStatus(), "given");
    EXPECT_STREQ(GetChoice(kChoiceMicrophone), "Gone [quillo_gone_input]");
    StartOnMicrophone(nullptr);  // nothing lists it here
    EXPECT_STREQ(InputStatus(), "default input");
    std::filesystem::remove(former);
    ResetChoices();
    SetMicrophoneName(nullptr);
}

TEST(InputChoice, TheFileDialogOffersTheFormatsLibsndfileReads) {
    char patterns[2048];
    ASSERT_TRUE(AudioFilePatterns(patterns, sizeof patterns));
    const std::string text = std::string(" ") + patterns + " ";
    for (const char* wanted : {" *.wav ", " *.flac ", " *.aiff ", " *.aif ", " *.ogg ", " *.au "})
        EXPECT_NE(text.find(wanted), std::string::npos) << wanted << " in" << text;
    EXPECT_EQ(text.find(" *.wav "), text.rfind(" *.wav ")) << "twice:" << text;
    char small[12];
    EXPECT_FALSE(AudioFilePatterns(small, sizeof small));
    EXPECT_STREQ(small, "");
}

// The bar's Input submenu as it is now; null when there is none.
QMenu* InputMenu() {
    for (QMenu* menu : MainWindowWidget()->findChildren<QMenu*>()) {
        if (menu->title() == "Input") return menu;
    }
    return nullptr;
}

// Every image button of the spectrum view (the automatic range last) is on screen, with the
// pointer's reading after it, at the first scale and with the window as small as it goes.
TEST_F(WindowExtrasTest, EveryButtonOfTheSpectrumViewIsOnScreenAtEveryScale) {
    RunOn(Tone("tone.wav", 1000.0), [&] {
        ASSERT_TRUE(WaitForBlocks(2));
        PostMainWindowMessage(WM_COMMAND, kCommandSpectrum);
        ASSERT_TRUE(WaitFor([] { return Title().rfind("Quillo-SA:Spectrum ", 0) == 0; }));
        for (const bool smallest : {false, true}) {
            if (smallest) MainWindowWidget()->resize(1, 1);  // held at its minimum: scale 1
            QTest::qWait(100);
            SCOPED_TRACE(WindowPictureScale());
            QToolBar* bar = nullptr;
            for (QToolBar* candidate : MainWindowWidget()->findChildren<QToolBar*>()) {
                if (candidate->isVisible()) bar = candidate;
            }
            ASSERT_NE(bar, nullptr);
            int buttons = 0;
            for (QAction* action : bar->actions()) {
                QWidget* button = bar->widgetForAction(action);
                if (button == nullptr || action->data().toInt() == 0) continue;
                ++buttons;
                EXPECT_TRUE(button->isVisible()) << action->data().toInt();
                EXPECT_TRUE(bar->rect().contains(button->geometry())) << action->data().toInt();
            }
            EXPECT_EQ(buttons, kSpectrumButtonCount);
        }
        EXPECT_EQ(WindowPictureScale(), 1);
        // The bar has no room left for the pointer's reading: it follows the pointer.
        QTest::mouseMove(MainWindowPicture(), MainWindowPicture()->rect().center());
        EXPECT_TRUE(WaitFor([] { return !QToolTip::text().isEmpty(); }, 3000));
    });
}

// The level meter ends the bar where the bar has room for it, with the pointer's reading
// still whole beside it at scale 3; at the smallest scale it draws nothing.
TEST_F(WindowExtrasTest, TheLevelMeterEndsTheBarWhereItHasRoomAndIsBlankWhereNot) {
    RunOn(Tone("tone.wav", 1000.0), [&] {
        ASSERT_TRUE(WaitForBlocks(8));  // -8.7 dBFS: the bar's RMS reaches past its middle
        const auto meterPixels = [] {
            QToolBar* bar = nullptr;
            for (QToolBar* candidate : MainWindowWidget()->findChildren<QToolBar*>())
                if (candidate->isVisible()) bar = candidate;
            const QImage image = bar->grab().toImage();
            int green = 0;
            for (int y = 0; y < image.height(); y++)
                for (int x = image.width() * 3 / 4; x < image.width(); x++)
                    green += image.pixel(x, y) == 0xFF50E650;
            return green;
        };
        MainWindowWidget()->resize(240 * 3, 268 * 3 + 60);
        QTest::qWait(200);
        ASSERT_EQ(WindowPictureScale(), 3);
        EXPECT_GT(meterPixels(), 100);
        QTest::mouseMove(MainWindowPicture(), MainWindowPicture()->rect().center());
        auto* readout = MainWindowWidget()->findChild<QLabel*>("cursorReadout");
        ASSERT_NE(readout, nullptr);
        ASSERT_TRUE(WaitFor([&] { return !readout->text().isEmpty(); }, 2000));
        EXPECT_LE(readout->fontMetrics().horizontalAdvance(readout->text()) + 12, readout->width());
        MainWindowWidget()->resize(1, 1);
        QTest::qWait(200);
        EXPECT_EQ(WindowPictureScale(), 1);
        EXPECT_EQ(meterPixels(), 0);
    });
}

// Space pauses and resumes, as in a desktop's players; the menu items show their keys.
TEST_F(WindowExtrasTest, SpaceTogglesPauseAndTheMenuItemsShowTheirKeys) {
    RunOn(Tone("tone.wav", 1000.0), [&] {
        ASSERT_TRUE(WaitForBlocks(2));
        QTest::keyClick(MainWindowPicture(), Qt::Key_Space);
        EXPECT_TRUE(WaitFor([] { return pictureFrozen; })) << "Space did not pause";
        QTest::keyClick(MainWindowPicture(), Qt::Key_Space);
        EXPECT_TRUE(WaitFor([] { return !pictureFrozen; })) << "Space did not resume";

        std::map<std::string, std::string> keys;  // item text: the key it shows
        for (QMenu* menu : MainWindowWidget()->findChildren<QMenu*>()) {
            for (QAction* action : menu->actions())
                keys[action->text().toStdString()] = action->shortcut().toString().toStdString();
        }
        EXPECT_EQ(keys["Input"], "Ctrl+I");
        EXPECT_EQ(keys["About"], "Ctrl+A");
        EXPECT_EQ(keys["Save Picture..."], "Ctrl+S");
        EXPECT_EQ(keys["Save Picture at Window Scale..."], "Ctrl+Shift+S");
        QMenu* inputs = InputMenu();
        ASSERT_NE(inputs, nullptr);
        inputs->popup(QPoint(0, 0));  // listed as it opens
        ASSERT_FALSE(inputs->actions().isEmpty());
        EXPECT_EQ(inputs->actions().back()->text(), "Open File...");
        EXPECT_EQ(inputs->actions().back()->shortcut().toString(), "Ctrl+O");
        inputs->hide();
    });
}

// A private PulseAudio (scripts/pulse-server.sh) under `runtime`, ended (kill -9) with the
// object, whichever way the test ends.
struct PulseServer {
    explicit PulseServer(const std::string& runtime) {
        const std::string start = "bash -c '. " QUILLO_SOURCE_DIR
                                  "/scripts/pulse-server.sh && "
                                  "start_pulse_server " +
                                  runtime + "' > /dev/null 2>&1";
        started = std::system(start.c_str()) == 0;
        pid = ReadFile(runtime + "/pulse/pid");
    }
    ~PulseServer() { End(); }
    void End() { std::system(("kill -9 " + pid + " 2> /dev/null").c_str()); }
    bool started = false;
    std::string pid;
};

// With a private PulseAudio (scripts/pulse-server.sh): its monitor input in the Input menu,
// chosen there, plays, is named beside the title and is remembered.
TEST_F(WindowExtrasTest, AnInputChosenInTheMenuPlaysAndIsRememberedForTheNextStart) {
    if (std::system("command -v pulseaudio > /dev/null") != 0) GTEST_SKIP() << "no pulseaudio";
    const std::string runtime = folder + "/pulse";
    const PulseServer server(runtime);
    ASSERT_TRUE(server.started);
    const std::string oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    RunOn(Tone("tone.wav", 1000.0), [&] {
        ASSERT_TRUE(WaitForBlocks(4));
        QMenu* inputs = InputMenu();
        ASSERT_NE(inputs, nullptr);
        emit inputs->aboutToShow();
        QAction* monitor = nullptr;
        QStringList listed;
        for (QAction* action : inputs->actions()) {
            listed << action->text();
            if (action->text().contains("quillo_out.monitor")) monitor = action;
        }
        EXPECT_TRUE(listed.first() == "tone.wav" && inputs->actions().first()->isChecked())
            << listed.join(", ").toStdString();
        EXPECT_TRUE(listed.contains("Open File..."));
        ASSERT_NE(monitor, nullptr) << listed.join(", ").toStdString();
        EXPECT_FALSE(monitor->isChecked());
        const std::string label = monitor->text().toStdString();
        monitor->trigger();
        ASSERT_TRUE(WaitFor([] { return Title().find("Monitor of") != std::string::npos; }))
            << Title();
        EXPECT_EQ(ReadFile(ChoicesFilePath()), "microphone = " + label + "\n");
        EXPECT_FALSE(ProgramTimerRuns()) << "a microphone has no end to look for";
        // The null output's monitor hears silence, but it is heard: blocks arrive.
        EXPECT_TRUE(WaitForBlocks(4));
        // The switch reset the views, which built the bar and its menus anew.
        inputs = InputMenu();
        ASSERT_NE(inputs, nullptr);
        emit inputs->aboutToShow();
        for (QAction* action : inputs->actions()) {
            if (action->text().toStdString() == label) {
                EXPECT_TRUE(action->isChecked());
            }
        }
    });
    StartOnMicrophone(nullptr);
    EXPECT_EQ(std::string(InputStatus()).rfind("Monitor of", 0), 0u) << InputStatus();
    setenv("XDG_RUNTIME_DIR", oldRuntime.c_str(), 1);
}

// The sound server going away while its monitor records: "Sound input failed!" with the
// reason, and the window stays with nothing playing.
TEST_F(WindowExtrasTest, ALostMicrophoneLeavesTheWindowWithNothingPlaying) {
    if (std::system("command -v pulseaudio > /dev/null") != 0) GTEST_SKIP() << "no pulseaudio";
    const std::string runtime = folder + "/pulse";
    PulseServer server(runtime);
    ASSERT_TRUE(server.started);
    const std::string oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    RunOn(Tone("tone.wav", 1000.0), [&] {
        ASSERT_TRUE(WaitForBlocks(4));  // time for the server to take clients
        // Armed before the switch: should the monitor not open, its box is answered too.
        std::string box;
        AnswerNextBox(&box);
        ASSERT_TRUE(SwitchToDevice("quillo_out.monitor")) << box;
        ASSERT_TRUE(WaitForBlocks(4));
        server.End();
        ASSERT_TRUE(WaitFor([&] { return !box.empty(); })) << "no box";
        EXPECT_EQ(box.rfind("Sound input failed!\n", 0), 0u) << box;
        EXPECT_GT(box.size(), std::string("Sound input failed!\n").size()) << "no reason";
        EXPECT_NE(MainWindowWidget(), nullptr) << "the window closed";
        EXPECT_EQ(Title(), "Quillo-SA:Spectrogram \u2014 nothing plays");
    });
    setenv("XDG_RUNTIME_DIR", oldRuntime.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/quillo-window-extras-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    Home = pattern;
    std::filesystem::create_directories(Home + "/config/Quillo-SA");
    mkdir((Home + "/runtime").c_str(), 0700);
    setenv("HOME", Home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (Home + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (Home + "/runtime").c_str(), 1);
    setenv("XDG_STATE_HOME", (Home + "/state").c_str(), 1);
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int code = 0;
    {
        QApplication app(argc, argv);
        SetDisplayBackEnd(&WindowDisplayBackEnd);
        AttachBarLevelMeter();  // as the program does: first, so that it ends the bar
        PictureModeState.levelMeasured = [] { ShowBarLevelMeter(true); };
        EnableInputSwitching();
        EnablePointerReading();
        testing::InitGoogleTest(&argc, argv);
        code = RUN_ALL_TESTS();
    }  // the single-instance lock goes with the application
    std::filesystem::remove_all(Home);
    return code;
}
