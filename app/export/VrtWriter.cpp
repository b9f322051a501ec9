// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/VrtWriter.h"

#include "app/export/ShortestText.h"
#include "calibration/BestFit.h"

#include <string_view>

namespace carteva {

namespace {

std::string XmlEscaped(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&apos;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string Attribute(std::string_view name, std::string_view value)
{
    return " " + std::string(name) + "=\"" + XmlEscaped(value) + "\"";
}

std::string ColourTable(const std::vector<std::uint32_t> &palette)
{
    std::string xml = "    <ColorTable>\n";
    for (const std::uint32_t argb : palette) {
        // GDAL reads a bitmap's palette as opaque.
        xml += "      <Entry" + Attribute("c1", std::to_string((argb >> 16) & 0xFF))
            + Attribute("c2", std::to_string((argb >> 8) & 0xFF))
            + Attribute("c3", std::to_string(argb & 0xFF)) + Attribute("c4", "255") + "/>\n";
    }
    return xml + "    </ColorTable>\n";
}

std::string Band(const CalibratedMap &map, int band, std::string_view colour)
{
    std::string xml = "  <VRTRasterBand" + Attribute("dataType", "Byte")
        + Attribute("band", std::to_string(band)) + ">\n";
    xml += "    <ColorInterp>" + std::string(colour) + "</ColorInterp>\n";
    if (!map.Palette.empty())
        xml += ColourTable(map.Palette);
    xml += "    <SimpleSource>\n";
    xml += "      <SourceFilename" + Attribute("relativeToVRT", map.ImageIsRelative ? "1" : "0")
        + ">" + XmlEscaped(map.Image) + "</SourceFilename>\n";
    xml += "      <SourceBand>" + std::to_string(band) + "</SourceBand>\n";
    xml += "    </SimpleSource>\n";
    return xml + "  </VRTRasterBand>\n";
}

} // namespace

std::string VrtWriter::GdalOrderNote(const CalibratedMap &map)
{
    const std::vector<TCalibPoint> points = CalibPointsOf(map);
    const BestFit fit(points, map.Projection.get());
    if (fit.Kind() == BestFit::Model::None || fit.Kind() == BestFit::Model::Similarity)
        return {};
    // GDAL's own default takes its order from the number of points (second order from six, third
    // from ten), so the order is always named.
    const std::size_t count = fit.Used();
    const int gdalDefault = count < 6 ? 1 : count < 10 ? 2 : 3;
    const std::string order = std::to_string(fit.Order());
    return "The best fit through these points is " + BestFit::NameOf(fit.Kind())
        + ": GDAL reproduces it with a polynomial of order " + order + " (gdalwarp -order " + order
        + ", gdaltransform -order " + order + ")"
        + (gdalDefault == fit.Order() ? std::string()
                                      : ", not with the order " + std::to_string(gdalDefault)
                   + " its default takes for " + std::to_string(count) + " points");
}

std::string VrtWriter::Write(const CalibratedMap &map)
{
    std::string xml = "<VRTDataset" + Attribute("rasterXSize", std::to_string(map.Width))
        + Attribute("rasterYSize", std::to_string(map.Height)) + ">\n";
    if (!map.Points.empty()) {
        // X is always the easting or longitude; the mapping "2,1" says that it is the system's
        // second axis.
        const std::shared_ptr<const MapProjection> system = map.FileSystem();
        xml += "  <GCPList" + Attribute("Projection", CalibratedMap::SystemWkt(system.get()))
            + Attribute("dataAxisToSRSAxisMapping",
                        CalibratedMap::NorthingFirst(system.get()) ? "2,1" : "1,2")
            + ">\n";
        for (const ExportPoint &point : map.Points) {
            const PlanePoint at = map.Coordinates(point, system.get());
            xml += "    <GCP" + Attribute("Id", std::to_string(point.Record))
                + Attribute("Pixel", ShortestText(point.X + 0.5))
                + Attribute("Line", ShortestText(point.Y + 0.5))
                + Attribute("X", ShortestText(at.E)) + Attribute("Y", ShortestText(at.N)) + "/>\n";
        }
        xml += "  </GCPList>\n";
        if (const std::string order = GdalOrderNote(map); !order.empty())
            xml += "  <!-- " + order + " -->\n";
    }
    if (map.Palette.empty()) {
        xml += Band(map, 1, "Red") + Band(map, 2, "Green") + Band(map, 3, "Blue");
    } else {
        xml += Band(map, 1, "Palette");
    }
    return xml + "</VRTDataset>\n";
}

} // namespace carteva
