// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/PositionList.h"

#include <cstddef>

namespace carteva {

// What a loaded GPX file leaves for the overlay: the positions of its waypoints and, when they
// were asked for, of its tracks' and routes' points, in degrees; nothing else of the file.
//
// The waypoints are the children of the root whose name is exactly "wpt" (an element without a
// prefix, or a processing instruction of that target), with their attributes named exactly "lat"
// and "lon"; one without usable coordinates is skipped rather than drawn at a stale or made-up
// position.
class GpxOverlay
{
public:
    // `tracksOrRoutes`: the file had a "trk" or "rte" element directly under its root.
    GpxOverlay(PositionList waypoints, PositionList lines, bool tracksOrRoutes);

    const PositionList &Waypoints() const { return waypoints_; }
    const PositionList &Lines() const { return lines_; }
    // The file had a track or a route directly under its root, but no line points were kept:
    // its lines were not asked for.
    bool LinesLeftOut() const { return linesLeftOut_; }
    std::size_t LinePointCount() const { return lines_.Count(); }
    // Bytes of the positions kept, for the benchmark's report.
    std::size_t MemoryUsed() const { return waypoints_.MemoryUsed() + lines_.MemoryUsed(); }

private:
    PositionList waypoints_;
    PositionList lines_;
    bool linesLeftOut_ = false;
};

} // namespace carteva
