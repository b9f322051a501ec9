// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/WaypointOverlay.h"

#include "calibration/Errors.h"
#include "gpx/GpxLoader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace carteva {
namespace {

struct PaintedPixel
{
    std::int64_t X, Y;
    carteva::Colour Paint;
    bool operator==(const PaintedPixel &) const = default;
};

// Remembers every pixel painted inside a width × height picture, in order.
class RecordingSurface : public PixelSurface
{
public:
    RecordingSurface(std::int64_t width, std::int64_t height)
        : width_(width)
        , height_(height)
    { }
    bool SetPixel(std::int64_t x, std::int64_t y, Colour colour) override
    {
        if (x < 0 || y < 0 || x >= width_ || y >= height_)
            return false;
        painted.push_back({x, y, colour});
        return true;
    }
    std::vector<PaintedPixel> painted;

private:
    std::int64_t width_, height_;
};

// (50, 14) is pixel (100, 100) and (49, 15) is (300, 400): 200 px per degree east, 300 per
// degree south.
const std::vector<TCalibPoint> Calibration
    = {TCalibPoint {100, 100, 50, 14}, TCalibPoint {300, 400, 49, 15}};

using Attributes = std::vector<std::pair<const char *, const char *>>;

struct Child
{
    GpxNodeKind kind;
    const char *name;
    Attributes attributes;
};

GpxDocument Document(std::initializer_list<Child> children)
{
    GpxDocument document;
    document.SetRoot(document.InternName("gpx"));
    for (const Child &child : children) {
        document.AddChild(child.kind, document.InternName(child.name));
        for (const auto &[name, value] : child.attributes)
            document.AddAttribute(document.InternName(name), value);
    }
    return document;
}

Child Wpt(const char *lat, const char *lon)
{
    return {GpxNodeKind::Element, "wpt", {{"lat", lat}, {"lon", lon}}};
}

TEST(WaypointOverlay, PaintsOnlyTopLevelWptChildrenWithCompleteCoordinates)
{
    const GpxDocument document = Document({
        Wpt("49.5", "14.5"),
        {GpxNodeKind::Element, "gpx:wpt", {{"lat", "49.5"}, {"lon", "14.6"}}},
        {GpxNodeKind::Element, "WPT", {{"lat", "49.5"}, {"lon", "14.6"}}},
        {GpxNodeKind::Comment, "#comment", {}},
        {GpxNodeKind::Element, "wpt", {{"LAT", "49.5"}, {"lon", "14.6"}}},
        {GpxNodeKind::Element, "wpt", {{"lat", "49.5"}}},
        Wpt("", "14.6"),
        Wpt("49.5", "14,6"),
        Wpt(" 49.5", "14.6 "),
        Wpt("４９", "14.6"),
        {GpxNodeKind::ProcessingInstruction, "wpt", {}},
        {GpxNodeKind::Element, "wpt", {{"ele", "1"}, {"lon", "14.0"}, {"lat", "50.0"}}},
        Wpt("49.5", "14.5"),
    });
    RecordingSurface surface(1000, 1000);
    const WaypointCounts counts = DrawWaypoints(document, Calibration, surface);

    const std::vector<PaintedPixel> expected
        = {{200, 250, ColourOrange}, {100, 100, ColourOrange}, {200, 250, ColourOrange}};
    EXPECT_EQ(surface.painted, expected);
    EXPECT_EQ(counts.Painted, 3u);
    EXPECT_EQ(counts.Skipped, 7u);
    EXPECT_EQ(counts.Outside, 0u);
    EXPECT_EQ(counts.NotMappable, 0u);
}

TEST(WaypointOverlay, CountsWaypointsOutsideThePicture)
{
    const GpxDocument document = Document({Wpt("49.5", "14.5"), Wpt("52", "14"), Wpt("50", "20")});
    RecordingSurface surface(400, 300);
    const WaypointCounts counts = DrawWaypoints(document, Calibration, surface);
    EXPECT_EQ(counts.Painted, 1u);
    EXPECT_EQ(counts.Outside, 2u);
}

TEST(WaypointOverlay, UnmappableWaypointsAreNotPaintedAndWarnOnce)
{
    const std::vector<std::vector<TCalibPoint>> calibrations
        = {{},
           {TCalibPoint {100, 100, 50, 14}},
           {TCalibPoint {100, 100, 50, 14}, TCalibPoint {120, 400, 49, 15}}};
    const GpxDocument document = Document({Wpt("49.5", "14.5"), Wpt("49", "15"), Wpt("", "1")});
    for (const auto &points : calibrations) {
        RecordingSurface surface(1000, 1000);
        int warnings = 0;
        const WaypointCounts counts = DrawWaypoints(document, points, surface, [&] { ++warnings; });
        EXPECT_TRUE(surface.painted.empty());
        EXPECT_EQ(counts.NotMappable, 2u);
        EXPECT_EQ(counts.Skipped, 1u);
        EXPECT_EQ(warnings, 1);
    }
}

TEST(WaypointOverlay, FloatingPointErrorEndsTheDrawingAndKeepsEarlierPixels)
{
    // Near (48, 15.1) the references are the last two points, which share a longitude.
    const std::vector<TCalibPoint> sameLongitude = {
        TCalibPoint {0, 0, 50, 14}, TCalibPoint {100, 100, 49, 15}, TCalibPoint {200, 200, 48, 15}};
    const GpxDocument mapping = Document({Wpt("50", "14"), Wpt("48", "15.1"), Wpt("50", "14")});
    RecordingSurface surface(1000, 1000);
    EXPECT_THROW(DrawWaypoints(mapping, sameLongitude, surface), EZeroDivide);
    EXPECT_EQ(surface.painted.size(), 1u);

    const GpxDocument conversion
        = Document({Wpt("49.5", "14.5"), Wpt("1e5119", "14"), Wpt("50", "14")});
    RecordingSurface other(1000, 1000);
    EXPECT_THROW(DrawWaypoints(conversion, Calibration, other), EOverflow);
    EXPECT_EQ(other.painted.size(), 1u);
}

TEST(WaypointOverlay, DrawsTheWaypointsOfALoadedFile)
{
    const std::filesystem::path path
        = std::filesystem::temp_directory_path() / "carteva-overlay.gpx";
    std::ofstream(path)
        << "<?xml version='1.0'?>\n<gpx xmlns='http://www.topografix.com/GPX/1/1'>\n"
           "  <wpt lat='49.5' lon='14.5'><ele>300</ele><name>A</name></wpt>\n"
           "  <!-- between -->\n"
           "  <trk><trkseg><trkpt lat='50' lon='14'/></trkseg></trk>\n"
           "  <extensions><wpt lat='50' lon='14'/></extensions>\n"
           "  <wpt lat='49.0' lon='15.0'/>\n</gpx>\n";
    const GpxDocument document = GpxLoader().Load(path);
    std::filesystem::remove(path);
    RecordingSurface surface(1000, 1000);
    DrawWaypoints(document, Calibration, surface);
    const std::vector<PaintedPixel> expected = {{200, 250, ColourOrange}, {300, 400, ColourOrange}};
    EXPECT_EQ(surface.painted, expected);
}

// What a drawing did, in order: each painted pixel, the warning ("W") and the error that ended it.
std::string Drawing(const GpxDocument &document, std::span<const TCalibPoint> points)
{
    std::string events;
    RecordingSurface surface(1000, 1000);
    std::size_t warnedAfter = SIZE_MAX;
    try {
        DrawWaypoints(document, points, surface, [&] { warnedAfter = surface.painted.size(); });
    } catch (const Error &error) {
        events = error.what();
    }
    std::string pixels;
    for (std::size_t i = 0; i <= surface.painted.size(); ++i) {
        if (i == warnedAfter)
            pixels += "W ";
        if (i < surface.painted.size())
            pixels += std::to_string(surface.painted[i].X) + ","
                + std::to_string(surface.painted[i].Y) + " ";
    }
    return pixels + events;
}

TEST(WaypointOverlay, MappingWhileLoadingDrawsExactlyWhatDrawingAfterwardsDoes)
{
    // Near (45, 20) the nearest point is the third, and both others lie within 30 px of it on an
    // axis: not mappable. Near (48, 15.1) the references of the second calibration share a
    // longitude; 1e5119 overflows.
    const std::vector<std::vector<TCalibPoint>> calibrations = {
        Calibration,
        {TCalibPoint {100, 100, 50, 14}, TCalibPoint {300, 400, 49, 15},
         TCalibPoint {310, 120, 45, 20}},
        {TCalibPoint {0, 0, 50, 14}, TCalibPoint {100, 100, 49, 15},
         TCalibPoint {200, 200, 48, 15}},
        {TCalibPoint {100, 100, 50, 14}},
    };
    std::string xml = "<gpx>\n";
    // Enough waypoints to fill several of the blocks handed between the threads.
    for (int i = 0; i < 10000; ++i)
        xml += "<wpt lat='49." + std::to_string(i) + "' lon='14." + std::to_string(i) + "'/>\n";
    xml += "<wpt lat='45' lon='20'/><!-- c --><wpt lat='x' lon='1'/><wpt lon='14'/><?wpt?>"
           "<wpt lat='49.5' lon='14.5'/><wpt lat='45.1' lon='20.1'/><wpt lat='48' lon='15.1'/>"
           "<wpt lat='50' lon='14'/><wpt lat='1e5119' lon='14'/><wpt lat='49' lon='15'/></gpx>";
    const std::filesystem::path path
        = std::filesystem::temp_directory_path() / "carteva-overlay-plot.gpx";
    std::ofstream(path) << xml;
    const GpxDocument plain = GpxLoader().Load(path);
    for (const auto &points : calibrations) {
        const GpxDocument plotted = GpxLoader().Load(path, points);
        ASSERT_NE(plotted.Plot(), nullptr);
        const GpxDocument otherPoints = GpxLoader().Load(path, Calibration);
        const std::string expected = Drawing(plain, points);
        EXPECT_EQ(Drawing(plotted, points), expected);
        EXPECT_EQ(Drawing(otherPoints, points), expected);
    }
    std::ofstream(path) << "<gpx><wpt lat='49.5' lon='14.5'/>\n<wpt></gpx>";
    EXPECT_THROW(GpxLoader().Load(path, Calibration), Error);
    std::filesystem::remove(path);
}

} // namespace
} // namespace carteva
