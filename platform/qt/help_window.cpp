// SPDX-License-Identifier: GPL-3.0-or-later
// The help page in the program's own browser window: a desktop's URL opener drops the
// #fragment of a file URL, and the page is only useful opened at its anchor.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QPointer>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>

#include "platform/qt/qt_host.h"

namespace {

QPointer<QTextBrowser> HelpBrowser;  // created on first use, reused, deleted at quit

// Installed beside the program, installed where it was configured to go, or in the source
// tree of a build that was never installed; the first that exists.
QString FindHelpFile(const QString& page) {
    const QString candidates[] = {
        QCoreApplication::applicationDirPath() + "/../share/quillo-sa/" + page,
        QStringLiteral(QUILLO_HELP_INSTALL_DIR "/") + page,
        QStringLiteral(QUILLO_SOURCE_RESOURCES_DIR "/") + page,
    };
    for (const QString& candidate : candidates) {
        const QFileInfo file(candidate);
        if (file.isFile() && file.isReadable()) return file.absoluteFilePath();
    }
    return QString();
}

}  // namespace

bool ShowHelpPage(const char* page, const char* anchor) {
    if (qApp == nullptr || page == nullptr || page[0] == '\0') return false;
    const QString name = QString::fromUtf8(page);
    if (name.contains('/')) return false;  // a page of the help folder, nothing else
    const QString path = FindHelpFile(name);
    if (path.isEmpty()) return false;
    if (HelpBrowser == nullptr) {
        HelpBrowser = new QTextBrowser;
        HelpBrowser->setOpenExternalLinks(true);
        HelpBrowser->resize(600, 700);
        // Closed as a desktop's viewers close: Escape, and Ctrl+W.
        for (const QKeySequence& key :
             {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
            QObject::connect(new QShortcut(key, HelpBrowser), &QShortcut::activated,
                             HelpBrowser.data(), &QWidget::close);
        }
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { delete HelpBrowser.data(); });
    }
    HelpBrowser->setSource(QUrl::fromLocalFile(path));
    const QString title = HelpBrowser->documentTitle();
    HelpBrowser->setWindowTitle(title.isEmpty() ? QStringLiteral("Quillo-SA Help") : title);
    HelpBrowser->show();
    HelpBrowser->raise();
    HelpBrowser->activateWindow();
    if (anchor != nullptr && anchor[0] != '\0') {
        HelpBrowser->scrollToAnchor(QString::fromUtf8(anchor));
    }
    return true;
}
