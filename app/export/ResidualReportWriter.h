// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "app/export/CalibratedMap.h"
#include "calibration/Mapping.h"

#include <string>

namespace carteva {

// How well a mapping fits the points: one tab-separated row per point (record, X, Y, latitude,
// longitude, dX, dY, residual in pixels and in metres, "suspect" or nothing), then the RMS error
// or the reason there is no mapping. Every other line starts with '#', so that tools reading the
// rows can skip them.
class ResidualReportWriter
{
public:
    static std::string Write(const CalibratedMap &map, MappingKind kind);
};

} // namespace carteva
