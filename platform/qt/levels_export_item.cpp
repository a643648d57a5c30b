// SPDX-License-Identifier: GPL-3.0-or-later
// Control > Export Spectrum....
#include "platform/qt/levels_export_item.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files/file_names.h"
#include "platform/files/output_files.h"
#include "platform/qt/main_window.h"
#include "platform/qt/qt_host.h"
#include "platform/qt/window_extras.h"
#include "shell/host.h"

namespace {

const char* const kCaption = "Export Spectrum";

ShownSpectrumSource Source = nullptr;  // OfferSpectrumExport; main thread only

void AddItem(QToolBar* bar) {
    QMenu* control = Source != nullptr && bar != nullptr ? ControlMenu(bar) : nullptr;
    if (control == nullptr) return;
    control->addSeparator();
    QAction* item = control->addAction(QStringLiteral("Export Spectrum..."));
    QObject::connect(item, &QAction::triggered, [] { QTimer::singleShot(0, ExportSpectrum); });
}

void SayNotExported(const std::string& reason) {
    std::fprintf(stderr, "quillo-sa: the spectrum was not exported: %s\n", reason.c_str());
    const std::string text = "The spectrum was not exported.\n" + reason;
    ShowMessageBox(MainWindowWidget(), text.c_str(), kCaption, kMessageBoxExclamation);
}

}  // namespace

void OfferSpectrumExport(ShownSpectrumSource source) {
    Source = source;
    AddWindowHooks({nullptr, AddItem, nullptr});
}

void ExportSpectrum() {
    QWidget* window = MainWindowWidget();
    if (Source == nullptr || window == nullptr || IsHeadlessRun()) return;
    std::string csv;  // what the user saw when asking
    if (!Source(&csv)) {
        SayNotExported("there is no spectrum yet");
        return;
    }
    const QString path =
        AskForSavePath(window, QStringLiteral("Export Spectrum"), QStandardPaths::DocumentsLocation,
                       QStringLiteral("csv"), QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty()) return;
    const QByteArray name = QFile::encodeName(path);
    if (WriteWholeFile(name.constData(), csv.data(), int(csv.size()))) return;
    SayNotExported(PrintableFileName(name.constData()) + ": " + std::strerror(errno));
}
