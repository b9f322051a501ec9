// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "app/export/CalibratedMap.h"

#include <span>
#include <string>
#include <vector>

namespace carteva {

// What in the points' layout keeps a transform from being fitted through them, in words for a
// warning or the report: two records on one pixel, or three or more points all on one line, on
// the picture or on the ground. GDAL then fails with "Transform is not solvable".
class PointLayout
{
public:
    static std::vector<std::string> Findings(std::span<const ExportPoint> points);
};

} // namespace carteva
