// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibrationKeeper.h"

#include <optional>
#include <string>

namespace carteva {

// What one change of the open map did, for the window to tell: the model itself shows nothing.
struct MapChangeReport
{
    // The point list differs from before the change (the edit's doing or another writer's).
    bool Changed = false;
    // Another writer's points came in beyond the edit: the list changed under the caller.
    bool CameIn = false;
    // What the keeper's transaction found and did (merge, copies, warnings), also when the write
    // then failed; none when no file is behind the map.
    std::optional<CalibrationKeeper::WriteResult> Write;
    // Why the write failed, in the failure's own words; none when it did not. The points are
    // then in memory only, merge and edit made all the same.
    std::optional<std::string> Failure;
};

} // namespace carteva
