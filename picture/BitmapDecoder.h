// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "picture/Picture.h"

class QFile;

namespace carteva {

// Opens a BMP file as a picture after BmpHeaderCheck has vouched for it: its pixels stay in the
// file (MappedBitmap) and are read where the picture is looked at.
class BitmapDecoder
{
public:
    // Throws Error("Stream read error") or Error("Bitmap image is not valid"), and
    // Error("Bitmap image is too large: ...") with the reason for a picture that cannot be held.
    static Picture Decode(QFile &file);
};

} // namespace carteva
