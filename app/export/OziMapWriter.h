// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "app/export/CalibratedMap.h"

#include <cstddef>
#include <string>

namespace carteva {

// An OziExplorer map file, version 2.2: WGS 84, Latitude/Longitude projection, the points as
// pixel X, Y and degrees with decimal minutes, and the image's width and height. GDAL's .MAP
// driver reads it too. Lines end in CR LF, as the Windows program writes them.
class OziMapWriter
{
public:
    // The format's point lines; points beyond them are left out.
    static constexpr std::size_t MaxPoints = 30;

    static std::string Write(const CalibratedMap &map);
};

} // namespace carteva
