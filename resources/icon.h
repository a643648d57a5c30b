// SPDX-License-Identifier: GPL-3.0-or-later
// The program's 48 x 48 icon as XPM data (QPixmap(quillo_sa_xpm)). The .xpm file is both
// the installed desktop icon and valid C, so it is included here rather than copied.
#pragma once

// clang-format off
#include "quillo-sa.xpm"
// clang-format on
