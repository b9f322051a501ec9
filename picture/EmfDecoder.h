// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "picture/Picture.h"

class QFile;

namespace carteva {

// Renders an enhanced metafile at the size of its bounds, one device unit to a pixel, on white:
// libemf2svg turns it into SVG and Qt draws that.
class EmfDecoder
{
public:
    // Throws Error("Metafile is not valid").
    static Picture Decode(QFile &file);
};

} // namespace carteva
