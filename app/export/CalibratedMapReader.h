// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "app/export/CalibratedMap.h"

#include <filesystem>
#include <string>
#include <vector>

namespace carteva {

// Reads what an export needs: the bitmap's size (through the picture library, so icons and
// metafiles count too) and its calibration file, found by the window's own name rule.
class CalibratedMapReader
{
public:
    // `outputFolder` is where the export goes; the bitmap is named relative to it. A point whose
    // latitude or longitude has no finite double value is left out with a line in `warnings`.
    // Throws Error("<file>: <reason>") when the bitmap or the calibration file cannot be read,
    // or the projection when `projectionUsed` or given; otherwise that one only warns.
    // `projection`, when given, stands for the projection file beside the calibration ("Degrees"
    // or empty: none).
    static CalibratedMap Read(const std::filesystem::path &bitmap,
                              const std::filesystem::path &outputFolder,
                              std::vector<std::string> &warnings,
                              const std::string *projection = nullptr, bool projectionUsed = true);

    // The calibration file that belongs to the bitmap.
    static std::filesystem::path CalibrationFileOf(const std::filesystem::path &bitmap);
};

} // namespace carteva
