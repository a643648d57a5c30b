// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/buttons.h"

const char* const* ButtonStripXpm(int bitmapId) {
    switch (bitmapId) {
        case 125:
            return kButtonStrip125Xpm;
        case 126:
            return kButtonStrip126Xpm;
        case 127:
            return kButtonStrip127Xpm;
        case 128:
            return kButtonStrip128Xpm;
        default:
            return nullptr;
    }
}

int ButtonStripImages(int bitmapId) {
    switch (bitmapId) {
        case 125:
        case 127:
            return 6;
        case 126:
        case 128:
            return 4;
        default:
            return 0;
    }
}
