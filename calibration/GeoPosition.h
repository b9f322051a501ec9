// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Extended.h"

namespace carteva {

// A position in degrees, as GPX and the calibration points carry it.
struct GeoPosition
{
    Extended Lat;
    Extended Lon;
};

} // namespace carteva
