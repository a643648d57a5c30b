// SPDX-License-Identifier: GPL-3.0-or-later
// The view area as an image and as a PNG file: what --snapshot, Save Picture... and Save
// Picture at Window Scale... write, all through WritePicturePng. Main thread only.
#pragma once

#include <cstddef>

class QImage;

// Writes `picture` as a PNG file at `path`; false with a one-line reason (no newline). A file
// is replaced only once the whole PNG is written; an existing file that is not a regular one
// (a device, a FIFO) is written as it is.
bool WritePicturePng(const QImage& picture, const char* path, char* reason, size_t reasonSize);
