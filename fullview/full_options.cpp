// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's options.
#include "fullview/full_options.h"

#include <algorithm>
#include <cmath>

FullViewOptionsRecord FullViewOptions = DefaultFullViewOptions();

FullViewOptionsRecord DefaultFullViewOptions() {
    return {
        DefaultFullAnalysisConfig(), FullColourMapKind::Handheld, true, false, -120.0f, 0.0f, true};
}

void LimitFullDbRange(float* low, float* high) {
    if (std::isnan(*low) || std::isnan(*high)) {
        *low = DefaultFullViewOptions().dbLow;
        *high = DefaultFullViewOptions().dbHigh;
        return;
    }
    const float range = std::clamp(*high - *low, kFullMinDbRange, kFullHighestDb - kFullLowestDb);
    *high = std::clamp(*high, kFullLowestDb + range, kFullHighestDb);
    *low = *high - range;
}
