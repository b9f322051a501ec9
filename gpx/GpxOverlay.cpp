// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxOverlay.h"

#include <utility>

namespace carteva {

GpxOverlay::GpxOverlay(PositionList waypoints, PositionList lines, bool tracksOrRoutes)
    : waypoints_(std::move(waypoints))
    , lines_(std::move(lines))
    , linesLeftOut_(tracksOrRoutes && lines_.Count() == 0 && lines_.Skipped() == 0
                    && !lines_.Ended())
{ }

} // namespace carteva
