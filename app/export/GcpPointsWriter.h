// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "app/export/CalibratedMap.h"

#include <string>

namespace carteva {

// A QGIS Georeferencer points file: the coordinate system, then one row per point with its
// longitude, latitude and the centre of its pixel, rows counted downwards as negative numbers.
class GcpPointsWriter
{
public:
    static std::string Write(const CalibratedMap &map);
};

} // namespace carteva
