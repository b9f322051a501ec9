// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/GcpPointsWriter.h"

#include "app/export/ShortestText.h"

namespace carteva {

std::string GcpPointsWriter::Write(const CalibratedMap &map)
{
    // QGIS takes mapX as the easting or longitude whatever the system's own axis order.
    const std::shared_ptr<const MapProjection> system = map.FileSystem();
    std::string text = "#CRS: " + CalibratedMap::SystemWkt(system.get()) + "\n";
    text += "mapX,mapY,sourceX,sourceY,enable,dX,dY,residual\n";
    for (const ExportPoint &point : map.Points) {
        const PlanePoint at = map.Coordinates(point, system.get());
        text += ShortestText(at.E) + "," + ShortestText(at.N) + ","
            + ShortestText(point.X + 0.5) + "," + ShortestText(-(point.Y + 0.5)) + ",1,0,0,0\n";
    }
    return text;
}

} // namespace carteva
