// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/LongitudeSpan.h"

#include <string>
#include <vector>

namespace carteva {

// A coordinate system as PROJ's database lists it.
struct CatalogueEntry
{
    std::string Code; // "EPSG:2056"
    std::string Name; // "CH1903+ / LV95"
    std::string Method; // the projection's name: "Hotine Oblique Mercator (variant B)"
    std::string AreaName; // "Liechtenstein; Switzerland."
    bool HasArea = false;
    double West = -180, South = -90, East = 180, North = 90; // East < West across 180°
    bool Geographic = false;

    // Whether the area of use, widened by `margin` degrees on every side, holds the span.
    bool Holds(const LongitudeSpan &span, double margin) const;
};

// The projected and geographic (2D) systems of PROJ's database that are not deprecated, read once
// per call through a PROJ context of the call's own.
class ProjectionCatalogue
{
public:
    static std::vector<CatalogueEntry> Read();
};

} // namespace carteva
