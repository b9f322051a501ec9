// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "picture/Picture.h"

class QFile;

namespace carteva {

// Decodes an icon file with Qt's decoder and keeps the largest of its images.
class IconDecoder
{
public:
    // Throws Error("Stream read error") when the file is shorter than its directory says,
    // Error("Icon image is not valid") for any other fault.
    static Picture Decode(QFile &file);
};

} // namespace carteva
