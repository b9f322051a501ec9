// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/PixelLineWriter.h"

#include "app/export/ShortestText.h"
#include "calibration/BestFit.h"
#include "calibration/Errors.h"
#include "calibration/MapProjection.h"
#include "calibration/NumberText.h"

#include <istream>
#include <ostream>

namespace carteva {

namespace {

constexpr std::string_view Blank = " \t\r\v\f";

// The next run of non-blank characters from `from`; empty at the end.
std::string_view Word(std::string_view line, std::size_t &from)
{
    const std::size_t start = line.find_first_not_of(Blank, from);
    if (start == std::string_view::npos) {
        from = line.size();
        return {};
    }
    const std::size_t end = std::min(line.find_first_of(Blank, start), line.size());
    from = end;
    return line.substr(start, end - start);
}

} // namespace

std::string PixelLineWriter::Header(const Mapping &mapping)
{
    std::string text = "# Mapping: ";
    if (mapping.Kind() == MappingKind::TwoNearest)
        text += "between the two nearest points, each axis on its own\n";
    else if (mapping.Fit() && mapping.Fit()->Reason().empty())
        text += "best fit through all points: " + mapping.Fit()->Summary() + "\n";
    else
        text += "best fit through all points\n";
    if (!mapping.Reason().empty())
        text += "# No mapping: " + mapping.Reason() + "\n";
    const MapProjection *projection = mapping.Setup().Projection.get();
    if (mapping.Kind() == MappingKind::TwoNearest || !projection)
        text += "# Projection: none; the fit works in degrees\n";
    else
        text += "# Projection: " + projection->OneLine() + "\n";
    text += "# X Y: the pixel before rounding; - and the reason where there is none\n";
    return text;
}

std::string PixelLineWriter::Line(const Mapping &mapping, std::string_view line)
{
    std::size_t at = 0;
    const std::string_view lat = Word(line, at);
    const std::string_view lon = Word(line, at);
    if (lat.empty() || lon.empty() || !Word(line, at).empty() || !IsDecimalNumber(lat)
        || !IsDecimalNumber(lon))
        return "- not a latitude and a longitude in decimal degrees";
    try {
        if (!mapping.Reason().empty())
            return "- no mapping: " + mapping.Reason();
        const std::optional<PixelPoint> pixel
            = mapping.GeoToPixelExact(ParseDecimal(lat), ParseDecimal(lon));
        if (pixel)
            return FixedText(pixel->X, 3) + " " + FixedText(pixel->Y, 3);
        if (mapping.Kind() == MappingKind::TwoNearest)
            return "- Incorrect calibration or calculation";
        if (mapping.Setup().Projection && !mapping.Setup().Projection->Forward(ParseDecimal(lat),
                                                                                ParseDecimal(lon)))
            return "- outside the projection's area";
        return "- the pixel is out of range";
    } catch (const Error &error) {
        // The two nearest points divide by a pair sharing a latitude, or the number overflows.
        return std::string("- ") + error.what();
    }
}

void PixelLineWriter::Write(const CalibratedMap &map, MappingKind kind, std::istream &in,
                            std::ostream &out)
{
    const Mapping mapping(map.SetupFor(kind), CalibPointsOf(map));
    out << Header(mapping);
    std::string line;
    while (std::getline(in, line))
        out << Line(mapping, line) << '\n';
}

} // namespace carteva
