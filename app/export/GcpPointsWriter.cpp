// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/GcpPointsWriter.h"

#include "app/export/ShortestText.h"

namespace carteva {

std::string GcpPointsWriter::Write(const CalibratedMap &map)
{
    std::string text = "#CRS: " + map.SystemWkt() + "\n";
    text += "mapX,mapY,sourceX,sourceY,enable,dX,dY,residual\n";
    for (const ExportPoint &point : map.Points) {
        const PlanePoint at = map.Coordinates(point);
        text += ShortestText(at.E) + "," + ShortestText(at.N) + ","
            + ShortestText(point.X + 0.5) + "," + ShortestText(-(point.Y + 0.5)) + ",1,0,0,0\n";
    }
    return text;
}

} // namespace carteva
