// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Extended.h"

#include <cstdint>

namespace carteva {

struct TfrmMainControls;

// The point the four entry fields hold, read as Save reads it: Y, then X, as integers, then both
// coordinates checked before either is converted, so a refused or overflowing text changes
// nothing. Throws the error Save shows.
struct EnteredPoint
{
    std::int32_t X = 0;
    std::int32_t Y = 0;
    Extended Lat = 0;
    Extended Lon = 0;

    static EnteredPoint Read(const TfrmMainControls &ui);
};

} // namespace carteva
