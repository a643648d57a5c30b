// SPDX-License-Identifier: GPL-3.0-or-later
// What the program reads of the machine: the OEM text and the diagnostic file's place.
#include <sys/stat.h>

#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/files/file_names.h"
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

// $XDG_STATE_HOME/Quillo-SA/fp_win.txt, by default ~/.local/state/Quillo-SA/fp_win.txt, in a
// folder of the user's own (made 0700 when missing; a folder another user made, or a link in
// its place, is refused). Never the shared temporary folder: a fixed name there is a name
// another user can take first.
const char* DiagnosticFilePath() {
    static char path[4096];  // the caller reads it before the next call
    constexpr char kName[] = "/fp_win.txt";
    if (!XdgProgramFolder("XDG_STATE_HOME", ".local/state", path,
                          sizeof path - (sizeof kName - 1))) {
        return nullptr;
    }
    // Every missing folder on the way is the user's alone.
    for (char* slash = std::strchr(path + 1, '/'); slash != nullptr;
         slash = std::strchr(slash + 1, '/')) {
        *slash = '\0';
        mkdir(path, 0700);
        *slash = '/';
    }
    mkdir(path, 0700);
    if (!IsOwnFolder(path, true)) {
        std::fprintf(stderr,
                     "quillo-sa: %s is not a folder of this user's own; fp_win.txt is not "
                     "written\n",
                     PrintableFileName(path).c_str());
        return nullptr;
    }
    std::strcat(path, kName);
    return path;
}
