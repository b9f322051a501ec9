// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/GcpPointsWriter.h"

#include "app/export/ShortestText.h"
#include "app/export/Wgs84.h"

namespace carteva {

std::string GcpPointsWriter::Write(const CalibratedMap &map)
{
    std::string text = std::string("#CRS: ") + Wgs84Wkt + "\n";
    text += "mapX,mapY,sourceX,sourceY,enable,dX,dY,residual\n";
    for (const ExportPoint &point : map.Points) {
        text += ShortestText(point.Lon) + "," + ShortestText(point.Lat) + ","
            + ShortestText(point.X + 0.5) + "," + ShortestText(-(point.Y + 0.5)) + ",1,0,0,0\n";
    }
    return text;
}

} // namespace carteva
