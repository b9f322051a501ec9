// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "app/export/CalibratedMap.h"
#include "calibration/Mapping.h"

#include <iosfwd>
#include <string>
#include <string_view>

namespace carteva {

// --format pixels: positions from standard input ("LAT LON" a line, decimal degrees) to the
// mapping's pixels before rounding ("X Y", 3 decimals), one line for each line read; a line that
// cannot be mapped gives "-" and the reason. Comment lines first name the mapping, its model and
// the projection. The window's waypoint pixels are these values rounded.
class PixelLineWriter
{
public:
    // The comment lines, each ending in a newline.
    static std::string Header(const Mapping &mapping);
    // One output line, without its newline.
    static std::string Line(const Mapping &mapping, std::string_view line);
    static void Write(const CalibratedMap &map, MappingKind kind, std::istream &in,
                      std::ostream &out);
};

} // namespace carteva
