// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "app/export/CalibratedMap.h"

#include <string>

namespace carteva {

// The projections the map may have been drawn in, best first: "#" lines, then one candidate a
// line, tab-separated: the held-out RMS and worst residual in pixels (three decimals), the
// definition to keep in the projection file ("Degrees" for none) and the name.
class ProjectionRankingWriter
{
public:
    static std::string Write(const CalibratedMap &map);
};

} // namespace carteva
