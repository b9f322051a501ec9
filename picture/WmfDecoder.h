// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "picture/Picture.h"

class QFile;

namespace carteva {

// Renders a Windows metafile at 1:1 on white, through libwmf's GD device.
//
// A placeable metafile gives its own frame and units per inch; it is shown at 96 pixels per inch.
// A metafile without that header has no size of its own: it is shown one unit to a pixel, framed
// by the window origin and extent it sets, or, when it sets no extent, by the bounds of what it
// draws.
class WmfDecoder
{
public:
    // Throws Error("Metafile is not valid").
    static Picture Decode(QFile &file);
};

} // namespace carteva
