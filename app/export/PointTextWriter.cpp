// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/PointTextWriter.h"

#include "calibration/NumberText.h"
#include "calibration/Utf.h"

namespace carteva {

std::string PointTextWriter::Write(const CalibratedMap &map)
{
    std::string text;
    for (const ExportPoint &point : map.Points) {
        text += ToUtf8(FormatInteger(point.X)) + "\t" + ToUtf8(FormatInteger(point.Y)) + "\t"
            + ToUtf8(FormatCoordinate(6, point.ExactLat)) + "\t"
            + ToUtf8(FormatCoordinate(6, point.ExactLon)) + "\n";
    }
    return text;
}

} // namespace carteva
