// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "picture/Picture.h"

class QFile;

namespace carteva {

// Decodes a BMP file with Qt's decoder, after BmpHeaderCheck has vouched for it. Bitmaps are shown
// opaque: an alpha channel is dropped.
class BitmapDecoder
{
public:
    // Throws Error("Stream read error") or Error("Bitmap image is not valid").
    static Picture Decode(QFile &file);
};

} // namespace carteva
