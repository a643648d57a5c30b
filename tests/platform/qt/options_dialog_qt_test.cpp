// SPDX-License-Identifier: GPL-3.0-or-later
// The options dialog through the real Qt dialog on the offscreen platform: the user types
// into the dB fields and presses OK, the message boxes show their exact texts, and the
// values land (or not) in the settings; radio buttons follow the keyboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <string>
#include <vector>

#include "platform/headless/display_memory.h"
#include "platform/qt/qt_host.h"
#include "raster/display.h"
#include "resources/resources.h"
#include "shell/host.h"
#include "shell/options_dialog.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "views/view_state.h"

const char* SettingsFilePath() {
    static const std::string path = "/tmp/quillo-options-qt-test-" + std::to_string(getpid());
    return path.c_str();
}

namespace {

struct Shown {
    std::string title;
    std::string text;
};

QDialog* ActiveDialog() {
    return qobject_cast<QDialog*>(QApplication::activeModalWidget());
}

QAbstractButton* Button(QDialog* dialog, const char* text) {
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        if (button->text() == text) return button;
    }
    return nullptr;
}

class OptionsDialogQtTest : public testing::Test {
  protected:
    void SetUp() override {
        unlink(SettingsFilePath());
        ResetProgramState();
        CloseDisplay();
        ResumeDrawing();
        SetDisplayBackEnd(&MemoryDisplayBackEnd);
        OpenDisplay(nullptr);
        InitViews(nullptr, 0, 26, 240, 268);
    }
    void TearDown() override { unlink(SettingsFilePath()); }

    // Opens the dialog; `user` acts on it once it shows, message boxes are read and closed
    // as they come. Returns the dialog's result.
    intptr_t Run(const std::function<void(QDialog*)>& user) {
        shown.clear();
        QTimer boxes;
        QObject::connect(&boxes, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            shown.push_back({box->windowTitle().toStdString(), box->text().toStdString()});
            EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
            box->accept();
        });
        boxes.start(5);
        QTimer::singleShot(0, [&user] {
            QDialog* dialog = ActiveDialog();
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), "Setting");
            user(dialog);
        });
        QTimer watchdog;  // a dialog left open fails the test instead of hanging it
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "the dialog stayed open";
            if (QWidget* active = QApplication::activeModalWidget()) active->close();
        });
        watchdog.start(20000);
        SuspendDrawing();
        return RunModalDialog(nullptr, kOptionsDialog, OptionsDialogProc);
    }
    // Types both fields and presses OK.
    intptr_t EnterRange(const char* min, const char* max) {
        return Run([min, max](QDialog* dialog) {
            SetDialogItemText(dialog, kControlDbMin, min);
            SetDialogItemText(dialog, kControlDbMax, max);
            Button(dialog, "OK")->click();
        });
    }
    std::vector<Shown> shown;
};

TEST_F(OptionsDialogQtTest, RangesTypedAndConfirmed) {
    EXPECT_EQ(EnterRange("20", "40"), 1);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(AnalyzerSettings.dbMin, 20);
    EXPECT_EQ(AnalyzerSettings.dbMax, 40);
    EXPECT_FALSE(drawingSuspended);

    EnterRange("0", "100");
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(AnalyzerSettings.dbMin, 0);
    EXPECT_EQ(AnalyzerSettings.dbMax, 100);

    EnterRange("25.7", "90");
    EXPECT_EQ(AnalyzerSettings.dbMin, 25);
    EXPECT_EQ(AnalyzerSettings.dbMax, 90);
    EXPECT_EQ(ViewState.dbMin, 25);

    EnterRange("x", "40");  // letters count as 0
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(AnalyzerSettings.dbMin, 0);
    EXPECT_EQ(AnalyzerSettings.dbMax, 40);
    EXPECT_EQ(access(SettingsFilePath(), F_OK), -1) << "nothing is saved before Exit";
}

TEST_F(OptionsDialogQtTest, RejectedRangesShowTheirMessageAndChangeNothing) {
    const struct {
        const char* min;
        const char* max;
        const char* message;
    } cases[] = {
        {"20.5", "40", "The separation of the dB range is too small."},
        {"-1", "40", "The value is out of range."},
        {"", "40", "You have not enter the minimum frequency."},
        {"20", "", "You have not enter the maximum frequency."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.min) + " / " + c.max);
        EXPECT_EQ(EnterRange(c.min, c.max), 1);  // closed on OK all the same
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].title, "Error");
        EXPECT_EQ(shown[0].text, c.message);
        EXPECT_EQ(AnalyzerSettings.dbMin, 20);
        EXPECT_EQ(AnalyzerSettings.dbMax, 80);
        EXPECT_EQ(ViewState.dbMax, 80);
    }
}

TEST_F(OptionsDialogQtTest, RadioGroupsApplyTheirValueAndFollowTheArrowKeys) {
    Run([](QDialog* dialog) {
        // The dialog opens on the current values: Linear, Narrow, Medium, Music, 22050, Hum.
        EXPECT_TRUE(IsDialogButtonChecked(dialog, kControlLinear));
        EXPECT_TRUE(IsDialogButtonChecked(dialog, kControlNarrow));
        QWidget* narrow = nullptr;
        for (QRadioButton* radio : dialog->findChildren<QRadioButton*>()) {
            if (radio->text() == "Narrow") narrow = radio;
        }
        ASSERT_NE(narrow, nullptr);
        QApplication::setActiveWindow(dialog);  // the offscreen platform activates nothing
        narrow->setFocus();
        for (int i = 0; i < 2; ++i) {
            QWidget* focused = QApplication::focusWidget();
            ASSERT_NE(focused, nullptr);
            QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
            QApplication::sendEvent(focused, &right);
        }
        EXPECT_TRUE(IsDialogButtonChecked(dialog, kControlWide));
        EXPECT_FALSE(IsDialogButtonChecked(dialog, kControlNarrow));
        Button(dialog, "Auditory")->click();
        Button(dialog, "Log")->click();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(dialog, &enter);
    });
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(AnalyzerSettings.freqResolution, 2);
    EXPECT_EQ(AnalyzerSettings.windowAlpha, 15.625f);
    EXPECT_FALSE(AnalyzerSettings.pitchTrackingOn);
    EXPECT_EQ(AnalyzerSettings.filtering, 1);
    EXPECT_EQ(AnalyzerSettings.preEmphasis, 0.97f);
    EXPECT_EQ(AnalyzerSettings.logScale, 1);
    EXPECT_EQ(ViewState.logScale, 1);
}

TEST_F(OptionsDialogQtTest, EscapeCancelsAndTheDeviceProfileDisablesTheRates) {
    SetDeviceProfile(true);
    const intptr_t result = Run([](QDialog* dialog) {
        for (const char* rate : {"11025 Hz", "22050 Hz"}) {
            EXPECT_FALSE(Button(dialog, rate)->isEnabled()) << rate;
            EXPECT_FALSE(Button(dialog, rate)->isChecked()) << rate;
        }
        SetDialogItemText(dialog, kControlDbMin, "30");
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(dialog, &escape);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(AnalyzerSettings.dbMin, 20);
    EXPECT_FALSE(drawingSuspended);
}

}  // namespace
