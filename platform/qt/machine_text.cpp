// What the program reads of the machine: the OEM text and the diagnostic file's place.
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/qt/qt_host.h"

namespace {

std::optional<QString> OemOverride;

// A kernel or firmware text: NULs and line ends trimmed; empty when unreadable.
QString ReadMachineFile(const char* path) {
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly)) return QString();
    QByteArray bytes = file.read(4096);
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0) bytes.truncate(nul);
    return QString::fromUtf8(bytes).trimmed();
}

// The board's model on device-tree machines, else the DMI vendor and product.
QString MachineOemText() {
    const QString model = ReadMachineFile("/proc/device-tree/model");
    if (!model.isEmpty()) return model;
    const QString vendor = ReadMachineFile("/sys/class/dmi/id/sys_vendor");
    const QString product = ReadMachineFile("/sys/class/dmi/id/product_name");
    if (vendor.isEmpty()) return product;
    if (product.isEmpty()) return vendor;
    return vendor + " " + product;
}

}  // namespace

void SetOemTextOverride(const char* text) {
    if (text == nullptr) {
        OemOverride.reset();
    } else {
        OemOverride = QString::fromUtf8(text);
    }
}

bool ReadOemText(char16_t* text, int capacity) {
    if (text == nullptr || capacity <= 0) return false;
    const QString oem = OemOverride ? *OemOverride : MachineOemText();
    if (oem.isEmpty() && !OemOverride) return false;
    const int length = static_cast<int>(std::min<qsizetype>(oem.size(), capacity));
    for (int i = 0; i < length; i++)
        text[i] = oem[i].unicode();
    if (length < capacity) text[length] = u'\0';
    return true;
}

const char* DiagnosticFilePath() {
    static char path[4096];  // the caller reads it before the next call
    const char* folder = std::getenv("TMPDIR");
    if (folder == nullptr || folder[0] == '\0') folder = "/tmp";
    const int length = std::snprintf(path, sizeof path, "%s/fp_win.txt", folder);
    if (length < 0 || length >= static_cast<int>(sizeof path)) return nullptr;
    return path;
}
