// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/OziMapWriter.h"

#include "app/export/ShortestText.h"

#include <cmath>
#include <optional>
#include <cstdio>
#include <string_view>

namespace carteva {

namespace {

// Right-aligned in `width` characters, like the columns of the files OziExplorer writes.
std::string Padded(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.insert(0, width - text.size(), ' ');
    return text;
}

// "  50,  30.50000,N": whole degrees, minutes with five decimals (1/100000 of a minute is under
// 2 cm on the ground) and the hemisphere letter. Rounded as one count of the smallest unit, so
// that 59.999999 minutes carry into the next degree instead of showing as 60.
std::string DegreesAndMinutes(double value, char positive, char negative)
{
    constexpr long long unitsPerMinute = 100000;
    constexpr long long unitsPerDegree = 60 * unitsPerMinute;
    const double magnitude = std::fabs(value);
    if (!(magnitude < 1e9)) // no place on Earth; beyond the count's range
        return Padded(ShortestText(std::floor(magnitude)), 4) + ",   0.00000,"
            + (value < 0 ? negative : positive);
    const long long units = std::llround(magnitude * double(unitsPerDegree));
    const long long degrees = units / unitsPerDegree;
    const double minutes = double(units % unitsPerDegree) / double(unitsPerMinute);
    return Padded(std::to_string(degrees), 4) + "," + Padded(FixedText(minutes, 5), 10) + ","
        + (value < 0 ? negative : positive);
}

// The map format holds whole pixels, and GDAL takes the number as the pixel's top-left corner,
// while a point means the centre of its pixel. So the position written is the corner's: the
// point's own, moved by the half pixel up and left that the best fit through all points gives
// there. Without a fit the point's own position is written, half a pixel off in GDAL.
GeoPosition CornerPosition(const ExportPoint &point, const Mapping &fit)
{
    const std::optional<GeoPosition> centre = fit.PixelToGeo(point.X, point.Y);
    const std::optional<GeoPosition> corner = fit.PixelToGeo(point.X - 0.5, point.Y - 0.5);
    if (!centre || !corner)
        return {point.Lat, point.Lon};
    return {point.Lat + double(corner->Lat - centre->Lat),
            point.Lon + double(corner->Lon - centre->Lon)};
}

std::string PointLine(std::size_t number, const ExportPoint *point, const Mapping &fit)
{
    char name[16];
    std::snprintf(name, sizeof name, "Point%02zu", number);
    std::string line = std::string(name) + ",xy,";
    if (point != nullptr) {
        const GeoPosition at = CornerPosition(*point, fit);
        line += Padded(std::to_string(point->X), 5) + "," + Padded(std::to_string(point->Y), 5)
            + ",in, deg," + DegreesAndMinutes(double(at.Lat), 'N', 'S') + ","
            + DegreesAndMinutes(double(at.Lon), 'E', 'W');
    } else {
        line += "     ,     ,in, deg,    ,          ,N,    ,          ,E";
    }
    return line + ", grid,   ,           ,           ,N";
}

} // namespace

std::string OziMapWriter::Write(const CalibratedMap &map)
{
    std::string text;
    const auto line = [&text](std::string_view content) {
        text += content;
        text += "\r\n";
    };
    line("OziExplorer Map Data File Version 2.2");
    line(map.Title);
    line(map.Image);
    line("1 ,Map Code,");
    line("WGS 84,WGS 84,   0.0000,   0.0000,WGS 84");
    line("Reserved 1");
    line("Reserved 2");
    line("Magnetic Variation,,,E");
    line("Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No");
    const Mapping fit(map.SetupFor(MappingKind::BestFit), CalibPointsOf(map));
    for (std::size_t i = 0; i < MaxPoints; ++i)
        line(PointLine(i + 1, i < map.Points.size() ? &map.Points[i] : nullptr, fit));
    line("Projection Setup,,,,,,,,,,");
    line("Map Feature = MF ; Map Comment = MC     These follow if they exist");
    line("Track File = TF      These follow if they exist");
    line("Moving Map Parameters = MM?    These follow if they exist");
    line("IWH,Map Image Width/Height," + std::to_string(map.Width) + ","
         + std::to_string(map.Height));
    return text;
}

} // namespace carteva
