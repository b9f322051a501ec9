// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "app/export/CalibratedMap.h"

#include <string>

namespace carteva {

// A GDAL virtual dataset: the bitmap's bands as GDAL reads them (one band with the palette of a
// palette bitmap, else red, green and blue) and one ground control point per calibration point, at
// the centre of its pixel, longitude as X, in WGS 84 - or easting as X in the map's own projection
// where one is kept beside it (X is always the easting or longitude, and the axis mapping says
// which of the system's axes that is), so that GDAL's polynomial of the named order reproduces the
// fit.
class VrtWriter
{
public:
    static std::string Write(const CalibratedMap &map);
    // Which GDAL order reproduces the best fit; empty without an affine or polynomial fit.
    static std::string GdalOrderNote(const CalibratedMap &map);
};

} // namespace carteva
