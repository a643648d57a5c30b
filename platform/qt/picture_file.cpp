// SPDX-License-Identifier: GPL-3.0-or-later
// The view area as an image and as a PNG file.
#include "platform/qt/picture_file.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files/file_names.h"
#include "platform/files/output_files.h"
#include "platform/qt/picture_view.h"
#include "platform/qt/qt_host.h"

QImage ViewAreaImage(int scale) {
    scale = std::max(scale, 1);
    QImage image(kWindowScreenWidth * scale, kWindowViewHeight * scale, QImage::Format_RGB32);
    RenderView(scale, image.rect(), image.bits(), image.bytesPerLine());
    return image.convertToFormat(QImage::Format_RGB888);
}

// The PNG is made in memory, then a file is replaced in one step by WriteWholeFile, whose
// every write, sync and close is checked, so that a full disk leaves the old picture whole.
bool WritePicturePng(const QImage& picture, const char* path, char* reason, size_t reasonSize) {
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    QImageWriter writer(&png, "png");
    QString error;
    if (!writer.write(picture)) {
        error = writer.errorString();
    } else if (!WriteWholeFile(path, png.data().constData(), png.data().size())) {
        error = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (error.isEmpty()) return true;
    if (reason != nullptr && reasonSize > 0) {
        std::snprintf(reason, reasonSize, "%s: %s", PrintableFileName(path).c_str(),
                      error.toLocal8Bit().constData());
    }
    return false;
}

bool WriteViewSnapshot(const char* path, char* reason, size_t reasonSize) {
    return WritePicturePng(ViewAreaImage(), path, reason, reasonSize);
}
