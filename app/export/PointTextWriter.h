// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "app/export/CalibratedMap.h"
#include "calibration/Mapping.h"

#include <string>

namespace carteva {

// One line per point, tab-separated: X, Y, latitude and longitude, the coordinates with six
// decimals exactly as the window shows them. With a mapping, two more columns: the pixel the
// mapping gives the point's position, with three decimals (empty where it gives none).
class PointTextWriter
{
public:
    static std::string Write(const CalibratedMap &map);
    static std::string Write(const CalibratedMap &map, MappingKind kind);
};

} // namespace carteva
