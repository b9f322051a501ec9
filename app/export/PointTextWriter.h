// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "app/export/CalibratedMap.h"

#include <string>

namespace carteva {

// One line per point, tab-separated: X, Y, latitude and longitude, the coordinates with six
// decimals exactly as the window shows them.
class PointTextWriter
{
public:
    static std::string Write(const CalibratedMap &map);
};

} // namespace carteva
