// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes and modal dialogs built from the dialog templates. A dialog's controls are
// placed in dialog units converted with the dialog font's base units, so the layout keeps
// its proportions whatever the font; the procedure addresses them by id.
#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/files/output_files.h"
#include "platform/qt/dialogs.h"
#include "platform/qt/qt_host.h"
#include "resources/resources.h"

namespace {

constexpr int kEditMaxLength = 20;  // characters an edit control takes
constexpr int kDialogMargin = 8;    // dialog units kept right of the widest text

class ResourceDialog : public QDialog {
  public:
    ResourceDialog(const DialogResource& resource, WindowProc proc, QWidget* parent)
        : QDialog(parent), proc(proc) {
        setWindowTitle(QString::fromUtf8(resource.caption));
        QFont font = this->font();
        if (resource.fontPoints > 0) font.setPointSize(resource.fontPoints);
        setFont(font);
        // Base units as the window system derives them: the mean width of the 52 letters,
        // rounded, and the line height. One unit is a quarter and an eighth of them.
        const QFontMetrics metrics(font);
        const int letters =
            metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        baseX = (letters / 26 + 1) / 2;
        baseY = metrics.height();
        // A text in a wider font than the template's widens the dialog, keeping the
        // template's left margin on the right too; the push buttons stay centred.
        int width = UnitsX(resource.width);
        for (int i = 0; i < resource.count; i++) {
            const DialogControlResource& control = resource.controls[i];
            if (control.kind != ControlKind::kLabel) continue;
            const int needed = metrics.horizontalAdvance(QString::fromUtf8(control.text));
            width = std::max(width, UnitsX(control.x) + needed + UnitsX(kDialogMargin));
        }
        const int buttonShift = (width - UnitsX(resource.width)) / 2;
        setFixedSize(width, UnitsY(resource.height));

        QButtonGroup* group = nullptr;
        QWidget* previous = nullptr;
        for (int i = 0; i < resource.count; i++) {
            const DialogControlResource& control = resource.controls[i];
            QWidget* widget = MakeControl(control, group);
            int controlWidth = UnitsX(control.width);
            int x = UnitsX(control.x);
            if (control.kind == ControlKind::kLabel) {
                const int needed = metrics.horizontalAdvance(QString::fromUtf8(control.text));
                controlWidth = std::max(controlWidth, needed);
            }
            if (qobject_cast<QPushButton*>(widget) != nullptr) x += buttonShift;
            widget->setGeometry(x, UnitsY(control.y), controlWidth, UnitsY(control.height));
            if (control.id != -1) controls.push_back({control.id, widget});
            if (widget->focusPolicy() != Qt::NoFocus) {
                if (previous != nullptr) setTabOrder(previous, widget);
                previous = widget;
            }
        }
    }

    // Calls the procedure; an EndDialog made inside takes effect once it returns.
    intptr_t Call(unsigned message, uintptr_t wParam) {
        depth++;
        const intptr_t answer = proc(this, message, wParam, 0);
        depth--;
        if (depth == 0 && endPending) Finish();
        return answer;
    }

    void End(intptr_t result) {
        endResult = result;
        endPending = true;
        if (depth == 0) Finish();
    }

    // As the dialog opens: the keyboard starts at the default button, and Tab enters each
    // radio group at its checked button (the first, when none is); the arrows move within.
    void PrepareKeyboard() {
        for (QButtonGroup* radioGroup : findChildren<QButtonGroup*>()) {
            const QList<QAbstractButton*> buttons = radioGroup->buttons();
            QAbstractButton* stop = radioGroup->checkedButton();
            if (stop == nullptr || !stop->isEnabled()) {
                const auto enabled =
                    std::find_if(buttons.begin(), buttons.end(),
                                 [](QAbstractButton* b) { return b->isEnabled(); });
                stop = enabled != buttons.end() ? *enabled : nullptr;
            }
            for (QAbstractButton* button : buttons) {
                const Qt::FocusPolicy policy = button->focusPolicy();
                button->setFocusPolicy(button == stop ? Qt::FocusPolicy(policy | Qt::TabFocus)
                                                      : Qt::FocusPolicy(policy & ~Qt::TabFocus));
            }
        }
        for (QPushButton* button : findChildren<QPushButton*>()) {
            if (button->isDefault()) button->setFocus(Qt::OtherFocusReason);
        }
    }

    QWidget* Control(int id) const {
        for (const auto& [controlId, widget] : controls) {
            if (controlId == id) return widget;
        }
        return nullptr;
    }

    bool ended = false;
    intptr_t endResult = 0;

  protected:
    // Escape and the close button: Cancel when the template has it, else OK.
    void reject() override {
        if (ended) return;
        const int id = Control(kCommandCancel) != nullptr ? kCommandCancel : kCommandOk;
        Call(WM_COMMAND, static_cast<uintptr_t>(id));
        if (!ended && id == kCommandOk) End(kCommandOk);
    }

  private:
    int UnitsX(int units) const { return units * baseX / 4; }
    int UnitsY(int units) const { return units * baseY / 8; }

    void Finish() {
        endPending = false;
        if (ended) return;
        ended = true;
        done(static_cast<int>(endResult));
    }

    QWidget* MakeControl(const DialogControlResource& control, QButtonGroup*& group) {
        const QString text = QString::fromUtf8(control.text != nullptr ? control.text : "");
        switch (control.kind) {
            case ControlKind::kPushButton:
            case ControlKind::kDefaultPushButton: {
                auto* button = new QPushButton(text, this);
                button->setDefault(control.kind == ControlKind::kDefaultPushButton);
                const int id = control.id;
                connect(button, &QPushButton::clicked,
                        [this, id] { Call(WM_COMMAND, static_cast<uintptr_t>(id)); });
                return button;
            }
            case ControlKind::kGroupBox: {
                auto* box = new QGroupBox(text, this);
                // The title sits on the frame's top edge, as the template's layout expects;
                // the style's own title row would push the frame onto the controls.
                box->setStyleSheet(
                    "QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                    " margin-top: 0.5em; }"
                    "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }");
                box->lower();  // behind the controls it frames
                return box;
            }
            case ControlKind::kLabel:
                return new QLabel(text, this);
            case ControlKind::kEdit: {
                auto* edit = new QLineEdit(text, this);
                edit->setMaxLength(kEditMaxLength);
                return edit;
            }
            case ControlKind::kRadioButton: {
                auto* radio = new QRadioButton(text, this);
                radio->setAutoExclusive(false);
                if (control.groupStart || group == nullptr) {
                    group = new QButtonGroup(this);
                    group->setExclusive(true);
                }
                group->addButton(radio);
                return radio;
            }
            case ControlKind::kIcon: {
                auto* label = new QLabel(this);
                QIcon icon = QApplication::windowIcon();
                if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
                label->setPixmap(icon.pixmap(UnitsX(control.width), UnitsY(control.height)));
                return label;
            }
        }
        return new QWidget(this);
    }

    WindowProc proc;
    int baseX = 1;
    int baseY = 1;
    int depth = 0;  // procedure calls on the stack
    bool endPending = false;
    std::vector<std::pair<int, QWidget*>> controls;  // addressable controls, by id
};

std::vector<QPointer<ResourceDialog>> RunningDialogs;  // innermost last

ResourceDialog* FindDialog(void* dialog) {
    for (const QPointer<ResourceDialog>& running : RunningDialogs) {
        if (running != nullptr && static_cast<void*>(running.data()) == dialog) {
            return running.data();
        }
    }
    return nullptr;
}

QWidget* FindControl(void* dialog, int id) {
    ResourceDialog* running = FindDialog(dialog);
    return running != nullptr ? running->Control(id) : nullptr;
}

QWidget* OwnerWindow = nullptr;  // the main window, as the window host last said

// The owner when it is the main window or a running dialog, over which its box or dialog
// then opens; one of no owner is application-modal anyway and opens mid-screen.
QWidget* OwnerWidget(void* owner) {
    if (owner == nullptr) return nullptr;
    if (owner == static_cast<void*>(OwnerWindow)) return OwnerWindow;
    return FindDialog(owner);
}

}  // namespace

void SetDialogOwnerWindow(QWidget* window) {
    OwnerWindow = window;
}

void EndRunningDialogs() {
    for (const QPointer<ResourceDialog>& running : RunningDialogs) {
        if (running != nullptr) running->End(0);
    }
}

void ShowMessageBox(void* window, const char* text, const char* caption, int icon) {
    const char* shownText = text != nullptr ? text : "";
    const char* shownCaption = caption != nullptr ? caption : "";
    // A run that a signal is ending waits for no one; what failed on the way is its doing.
    if (EndingSignal() != 0) return;
    // A failure is told on stderr too, so that a terminal or a log keeps it.
    const bool headless = IsHeadlessRun() || qApp == nullptr;
    if (headless || icon == kMessageBoxExclamation) {
        std::fprintf(stderr, "%s: %s\n", shownCaption, shownText);
    }
    if (headless) return;
    // On the heap: the main window, its parent, may be destroyed while the box is up.
    QPointer<QMessageBox> box =
        new QMessageBox(icon == kMessageBoxExclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                        QString::fromUtf8(shownCaption), QString::fromUtf8(shownText),
                        QMessageBox::Ok, OwnerWidget(window));
    box->exec();
    delete box.data();
}

intptr_t RunModalDialog(void* owner, int resource, WindowProc proc) {
    const DialogResource* dialogResource = FindDialogResource(resource);
    if (qApp == nullptr || dialogResource == nullptr || proc == nullptr) return -1;
    if (IsHeadlessRun()) {
        std::fprintf(stderr, "quillo-sa: the dialog \"%s\" cannot be shown in a headless run\n",
                     dialogResource->caption);
        return -1;
    }
    QPointer<ResourceDialog> dialog = new ResourceDialog(*dialogResource, proc, OwnerWidget(owner));
    dialog->setModal(true);
    RunningDialogs.push_back(dialog);
    dialog->Call(WM_INITDIALOG, 0);
    if (dialog != nullptr && !dialog->ended) {
        dialog->PrepareKeyboard();
        dialog->exec();
    }
    intptr_t result = 0;
    if (dialog != nullptr) {
        result = dialog->endResult;
        delete dialog.data();
    }
    std::erase_if(RunningDialogs, [](const QPointer<ResourceDialog>& d) { return d.isNull(); });
    return result;
}

void EndDialog(void* dialog, intptr_t result) {
    if (ResourceDialog* running = FindDialog(dialog)) running->End(result);
}

void CheckDialogButton(void* dialog, int id, bool checked) {
    auto* button = qobject_cast<QAbstractButton*>(FindControl(dialog, id));
    if (button == nullptr) return;
    // An exclusive group keeps its checked button; clearing one is done outside the group.
    QButtonGroup* group = button->group();
    const bool exclusive = group != nullptr && group->exclusive();
    if (exclusive && !checked) group->setExclusive(false);
    button->setChecked(checked);
    if (exclusive && !checked) group->setExclusive(true);
}

bool IsDialogButtonChecked(void* dialog, int id) {
    auto* button = qobject_cast<QAbstractButton*>(FindControl(dialog, id));
    return button != nullptr && button->isChecked();
}

void EnableDialogItem(void* dialog, int id, bool enabled) {
    if (QWidget* control = FindControl(dialog, id)) control->setEnabled(enabled);
}

void SetDialogItemText(void* dialog, int id, const char* text) {
    const QString value = QString::fromUtf8(text != nullptr ? text : "");
    QWidget* control = FindControl(dialog, id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(value);
    } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
        box->setTitle(value);
    }
}

int GetDialogItemText(void* dialog, int id, char* text, int capacity) {
    if (text == nullptr || capacity <= 0) return 0;
    text[0] = '\0';
    QWidget* control = FindControl(dialog, id);
    QString value;
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        value = edit->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        value = button->text();
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        value = label->text();
    } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
        value = box->title();
    } else {
        return 0;
    }
    const QByteArray bytes = value.toUtf8();
    int length = static_cast<int>(std::min<qsizetype>(bytes.size(), capacity - 1));
    // Never end inside a character: back off over UTF-8 continuation bytes.
    if (length < bytes.size()) {
        while (length > 0 && (static_cast<unsigned char>(bytes[length]) & 0xC0) == 0x80)
            length--;
    }
    std::memcpy(text, bytes.constData(), static_cast<size_t>(length));
    text[length] = '\0';
    return length;
}
