// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/PointTextWriter.h"

#include "app/export/ShortestText.h"
#include "calibration/Errors.h"
#include "calibration/NumberText.h"
#include "calibration/Utf.h"

#include <vector>

namespace carteva {

namespace {

std::string PointColumns(const ExportPoint &point)
{
    return ToUtf8(FormatInteger(point.X)) + "\t" + ToUtf8(FormatInteger(point.Y)) + "\t"
        + ToUtf8(FormatCoordinate(6, point.ExactLat)) + "\t"
        + ToUtf8(FormatCoordinate(6, point.ExactLon));
}

} // namespace

std::string PointTextWriter::Write(const CalibratedMap &map)
{
    std::string text;
    for (const ExportPoint &point : map.Points)
        text += PointColumns(point) + "\n";
    return text;
}

std::string PointTextWriter::Write(const CalibratedMap &map, MappingKind kind)
{
    const std::vector<TCalibPoint> points = CalibPointsOf(map);
    const Mapping mapping(map.SetupFor(kind), points);
    std::string text;
    for (const ExportPoint &point : map.Points) {
        std::optional<PixelPoint> pixel;
        try {
            pixel = mapping.GeoToPixelExact(point.ExactLat, point.ExactLon);
        } catch (const Error &) {
            // The nearest pair shares a latitude or longitude: no pixel, as in the window.
        }
        text += PointColumns(point) + "\t";
        text += pixel ? FixedText(pixel->X, 3) + "\t" + FixedText(pixel->Y, 3) : "\t";
        text += "\n";
    }
    return text;
}

} // namespace carteva
