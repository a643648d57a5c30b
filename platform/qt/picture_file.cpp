// The view area as an image and as a PNG file.
#include "platform/qt/picture_file.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/files/file_names.h"
#include "platform/qt/picture_view.h"
#include "platform/qt/qt_host.h"

QImage ViewAreaImage(int scale) {
    scale = std::max(scale, 1);
    QImage image(kWindowScreenWidth * scale, kWindowViewHeight * scale, QImage::Format_RGB32);
    std::vector<QRgb> line;
    RenderView(scale, image.rect(), image.bits(), image.bytesPerLine(), line);
    return image.convertToFormat(QImage::Format_RGB888);
}

// QSaveFile writes a new file beside the old one and renames it over it on commit; every
// write is checked.
bool WritePicturePng(const QImage& picture, const char* path, char* reason, size_t reasonSize) {
    const QString name = QFile::decodeName(path);
    const QFileInfo info(name);
    const bool special = info.exists() && !info.isFile();
    QSaveFile replacing(name);
    QFile direct(name);
    QFileDevice& file = special ? static_cast<QFileDevice&>(direct) : replacing;
    QImageWriter writer(&file, "png");
    QString error;
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
    } else if (!writer.write(picture)) {
        error = file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
    } else if (special ? !direct.flush() : !replacing.commit()) {
        error = file.errorString();
    }
    if (error.isEmpty()) return true;  // an uncommitted QSaveFile removes what it wrote
    if (reason != nullptr && reasonSize > 0) {
        std::snprintf(reason, reasonSize, "%s: %s", PrintableFileName(path).c_str(),
                      error.toLocal8Bit().constData());
    }
    return false;
}

bool WriteViewSnapshot(const char* path, char* reason, size_t reasonSize) {
    return WritePicturePng(ViewAreaImage(), path, reason, reasonSize);
}
