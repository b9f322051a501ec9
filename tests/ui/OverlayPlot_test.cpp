// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/OverlayPlot.h"

#include "calibration/Errors.h"
#include "gpx/GpxLines.h"
#include "gpx/GpxLoader.h"
#include "gpx/GpxOverlay.h"
#include "ui/ClippedLine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace carteva {
namespace {

struct PaintedPixel
{
    std::int64_t X, Y;
    bool operator==(const PaintedPixel &) const = default;
};

// Remembers every pixel handed on inside a width × height picture, in order.
class RecordingSurface
{
public:
    RecordingSurface(std::int64_t width, std::int64_t height)
        : width_(width)
        , height_(height)
    { }
    PixelBatch::Take Take()
    {
        return [this](std::span<const Pixel> pixels) {
            for (const Pixel &pixel : pixels)
                if (pixel.X >= 0 && pixel.Y >= 0 && pixel.X < width_ && pixel.Y < height_)
                    painted.push_back({pixel.X, pixel.Y});
        };
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

// A file of these children under a root "gpx" (which declares the prefix "gpx"), loaded.
GpxOverlay Document(std::initializer_list<Child> children)
{
    std::string xml = "<gpx xmlns:gpx='urn:gpx'>";
    for (const Child &child : children) {
        if (child.kind == GpxNodeKind::Comment) {
            xml += "<!--c-->";
        } else if (child.kind == GpxNodeKind::ProcessingInstruction) {
            xml += std::string("<?") + child.name + "?>";
        } else {
            xml += std::string("<") + child.name;
            for (const auto &[name, value] : child.attributes)
                xml += std::string(" ") + name + "='" + value + "'";
            xml += "/>";
        }
    }
    const std::filesystem::path path
        = std::filesystem::temp_directory_path() / "carteva-overlay-document.gpx";
    std::ofstream(path) << xml << "</gpx>";
    GpxOverlay overlay = GpxLoader().Load(path);
    std::filesystem::remove(path);
    return overlay;
}

// The waypoints alone, as the window draws them with tracks and routes off.
WaypointCounts DrawWaypoints(const GpxOverlay &overlay, std::span<const TCalibPoint> points,
                             RecordingSurface &surface,
                             const std::function<void()> &onFirstUnmappable = {})
{
    return OverlayPlot::Plot(overlay, MappingKind::TwoNearest, points, false, 1000, 1000,
                             surface.Take(), onFirstUnmappable);
}

Child Wpt(const char *lat, const char *lon)
{
    return {GpxNodeKind::Element, "wpt", {{"lat", lat}, {"lon", lon}}};
}

TEST(WaypointOverlay, PaintsOnlyTopLevelWptChildrenWithCompleteCoordinates)
{
    const GpxOverlay document = Document({
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

    const std::vector<PaintedPixel> expected = {{200, 250}, {100, 100}, {200, 250}};
    EXPECT_EQ(surface.painted, expected);
    EXPECT_EQ(counts.Painted, 3u);
    EXPECT_EQ(counts.Skipped, 7u);
    EXPECT_EQ(counts.Outside, 0u);
    EXPECT_EQ(counts.NotMappable, 0u);
}

TEST(WaypointOverlay, CountsWaypointsOutsideThePicture)
{
    const GpxOverlay document = Document({Wpt("49.5", "14.5"), Wpt("52", "14"), Wpt("50", "20")});
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
    const GpxOverlay document = Document({Wpt("49.5", "14.5"), Wpt("49", "15"), Wpt("", "1")});
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
    const GpxOverlay mapping = Document({Wpt("50", "14"), Wpt("48", "15.1"), Wpt("50", "14")});
    RecordingSurface surface(1000, 1000);
    EXPECT_THROW(DrawWaypoints(mapping, sameLongitude, surface), EZeroDivide);
    EXPECT_EQ(surface.painted.size(), 1u);

    const GpxOverlay conversion
        = Document({Wpt("49.5", "14.5"), Wpt("1e5119", "14"), Wpt("50", "14")});
    RecordingSurface other(1000, 1000);
    EXPECT_THROW(DrawWaypoints(conversion, Calibration, other), EOverflow);
    EXPECT_EQ(other.painted.size(), 1u);
}

// The pixels of the line from a to b inside a width × height picture, each step of the longer
// axis rounded from the exact line (halves up): what the overlay's lines are held against.
std::set<std::pair<std::int64_t, std::int64_t>> ReferenceLine(std::pair<double, double> a,
                                                              std::pair<double, double> b,
                                                              std::int64_t width = 1000,
                                                              std::int64_t height = 1000)
{
    std::set<std::pair<std::int64_t, std::int64_t>> pixels;
    const double dx = b.first - a.first, dy = b.second - a.second;
    const double steps = std::max(std::abs(dx), std::abs(dy));
    for (double t = 0; t <= steps; ++t) {
        // The product first: an exact half stays exact.
        const double ux = steps == 0 ? 0 : t * dx / steps, uy = steps == 0 ? 0 : t * dy / steps;
        const auto x = static_cast<std::int64_t>(std::floor(a.first + ux + 0.5));
        const auto y = static_cast<std::int64_t>(std::floor(a.second + uy + 0.5));
        if (x >= 0 && y >= 0 && x < width && y < height)
            pixels.insert({x, y});
    }
    return pixels;
}

// Every step of up to a few pixels either way, painted whole and after a step that painted its
// start, against the reference line.
TEST(WaypointOverlay, ShortStepsPaintTheReferenceLine)
{
    for (int dy = -9; dy <= 9; ++dy) {
        for (int dx = -9; dx <= 9; ++dx) {
            for (const bool fromPainted : {false, true}) {
                RecordingSurface surface(1000, 1000);
                PixelBatch batch(surface.Take());
                DrawClippedLine(batch, {500, 500}, {500 + dx, 500 + dy}, 1000, 1000, fromPainted);
                batch.Flush();
                std::set<std::pair<std::int64_t, std::int64_t>> painted;
                for (const PaintedPixel &pixel : surface.painted)
                    painted.insert({pixel.X, pixel.Y});
                auto expected = ReferenceLine({500, 500}, {500 + dx, 500 + dy});
                if (fromPainted)
                    expected.erase({500, 500});
                EXPECT_EQ(painted, expected) << dx << ", " << dy << ", " << fromPainted;
                EXPECT_EQ(surface.painted.size(), expected.size()) << dx << ", " << dy;
            }
        }
    }
}

TEST(WaypointOverlay, DrawsTheWaypointsOfALoadedFile)
{
    using Pixels = std::set<std::pair<std::int64_t, std::int64_t>>;
    const auto join = [](std::initializer_list<Pixels> parts) {
        Pixels all;
        for (const Pixels &part : parts)
            all.insert(part.begin(), part.end());
        return all;
    };
    const std::string waypoints
        = "<?xml version='1.0'?>\n<gpx xmlns='http://www.topografix.com/GPX/1/1'>\n"
          "  <wpt lat='49.5' lon='14.5'><ele>300</ele><name>A</name></wpt>\n"
          "  <!-- between -->\n"
          "  <trk><trkseg><trkpt lat='50' lon='14'/></trkseg></trk>\n"
          "  <extensions><wpt lat='50' lon='14'/></extensions>\n"
          "  <wpt lat='49.0' lon='15.0'/>\n</gpx>\n";
    // Pixels: lon 14.05 is x 110, 14.1 x 120; lat 49.99 is y 103, 49.98 y 106, 49.9 y 130.
    const std::string lines
        = "<gpx><trk><name>t</name><trkseg><trkpt lat='50' lon='14'/><trkpt lat='49.99' "
          "lon='14.05'/></trkseg><trkseg><trkpt lat='49.9' lon='14.1'/></trkseg>"
          "<extensions><trkseg><trkpt lat='49' lon='15'/><trkpt lat='49' lon='14'/></trkseg>"
          "</extensions><trkpt lat='49' lon='15'/></trk>"
          "<gpx:trk xmlns:gpx='urn:g'><trkseg><trkpt lat='49' lon='15'/></trkseg></gpx:trk>"
          "<TRK><trkseg><trkpt lat='49' lon='15'/></trkseg></TRK><x><trk><trkseg>"
          "<trkpt lat='49' lon='15'/></trkseg></trk></x>"
          "<rte><name>r</name><rtept lat='49.98' lon='14.1'/><rtept lon='14.1' lat='49.9'/>"
          "<rtept LAT='1' lat='49.9' lon='14.05'/></rte><rte><rtept lat='49' lon='15'/></rte></gpx>";
    const std::string broken
        = "<gpx><trk><trkseg><trkpt lat='50' lon='14'/><trkpt lat='x' lon='14.05'/>"
          "<trkpt lat='49.99' lon='14.05'/><trkpt lon='14.1'/><trkpt lat='49.98' lon='14.1'/>"
          "<trkpt lat='49.98' lon='14.05'/></trkseg></trk></gpx>";
    // The first latitude through an entity, the second through a character reference; the last
    // step ends 10 px beyond the picture's right edge.
    const std::string references
        = "<!DOCTYPE gpx [<!ENTITY la '49.9'>]><gpx><trk><trkseg><trkpt lat='50' lon='14'/>"
          "<trkpt lat='&la;' lon='14.1'/><trkpt lat='&#52;9.9' lon='18.45'/>"
          "<trkpt lat='49.9' lon='18.55'/></trkseg></trk></gpx>";
    // Near (45, 20) no pair of the three points maps: the warning falls between two lines.
    const std::vector<TCalibPoint> threePoints = {TCalibPoint {100, 100, 50, 14},
                                                  TCalibPoint {300, 400, 49, 15},
                                                  TCalibPoint {310, 120, 45, 20}};
    const std::string unmappable
        = "<gpx><trk><trkseg><trkpt lat='50' lon='14'/><trkpt lat='49.99' lon='14.05'/>"
          "<trkpt lat='45' lon='20'/><trkpt lat='49.9' lon='14.1'/><trkpt lat='45' lon='20'/>"
          "<trkpt lat='49.98' lon='14.1'/><trkpt lat='49.98' lon='14.05'/></trkseg></trk></gpx>";
    // With a steep scale (a pixel every 5e-8 degrees of longitude), a line that leaves the
    // picture for x near 3.7e9, comes back, and leaves for x near -4.3e9.
    const std::vector<TCalibPoint> steep
        = {TCalibPoint {100, 100, 50, 14}, TCalibPoint {300, 400, 49, 14.00001L}};
    const std::string farOut
        = "<gpx><trk><trkseg><trkpt lat='49.99' lon='14.0000005'/><trkpt lat='49.99' lon='200'/>"
          "<trkpt lat='49.98' lon='200'/><trkpt lat='49.98' lon='14.000001'/><trkpt lat='49.9' "
          "lon='-200'/></trkseg></trk></gpx>";
    // More points than a block handed between the threads holds, then a segment of one point.
    std::string longTrack = "<gpx><trk><trkseg>";
    for (int i = 0; i < 40000; ++i)
        longTrack += i % 2 ? "<trkpt lat='49.99' lon='14.05'/>" : "<trkpt lat='50' lon='14'/>";
    longTrack += "</trkseg><trkseg><trkpt lat='49.9' lon='14.1'/></trkseg></trk></gpx>";
    const struct
    {
        const char *what;
        std::string xml;
        bool lines;
        Pixels expected;
        std::vector<TCalibPoint> points = Calibration;
        bool linesLeftOut = false; // a "trk" or "rte" under the root, and no line points kept
    } rows[] = {
        {"waypoints, lines off", waypoints, false, {{200, 250}, {300, 400}}, Calibration, true},
        {"waypoints, lines on", waypoints, true, {{200, 250}, {300, 400}, {100, 100}}},
        {"only tracks and routes, lines off", lines, false, {}, Calibration, true},
        {"names that are not tracks or routes", "<gpx xmlns:g='urn:g'><TRK/><g:trk/><x><trk/></x>"
         "<?trk?><?rte?><!--trk--><wpt><rte/></wpt></gpx>", false, {}},
        {"an empty route, lines on", "<gpx><rte/></gpx>", true, {}, Calibration, true},
        {"nesting", lines, true,
         join({ReferenceLine({100, 100}, {110, 103}), {{120, 130}},
               ReferenceLine({120, 106}, {120, 130}), ReferenceLine({120, 130}, {110, 130}),
               {{300, 400}}})},
        {"broken points split a line", broken, true,
         join({{{100, 100}, {110, 103}}, ReferenceLine({120, 106}, {110, 106})})},
        {"references, and a step out at the edge", references, true,
         join({ReferenceLine({100, 100}, {120, 130}), ReferenceLine({120, 130}, {990, 130}),
               ReferenceLine({990, 130}, {1010, 130})})},
        {"a point that cannot be mapped", unmappable, true,
         join({ReferenceLine({100, 100}, {110, 103}), {{120, 130}},
               ReferenceLine({120, 106}, {110, 106})}),
         threePoints},
        {"far ends clipped", farOut, true,
         join({ReferenceLine({110, 103}, {999, 103}), ReferenceLine({999, 106}, {0, 106})}),
         steep},
        {"a long track", longTrack, true,
         join({ReferenceLine({100, 100}, {110, 103}), {{120, 130}}})},
    };
    const std::filesystem::path path
        = std::filesystem::temp_directory_path() / "carteva-overlay.gpx";
    for (const auto &row : rows) {
        std::ofstream(path) << row.xml;
        GpxLoader loader;
        loader.CollectLines(row.lines);
        GpxOverlay loaded = loader.Load(path);
        EXPECT_EQ(loaded.LinesLeftOut(), row.linesLeftOut) << row.what;
        std::vector<PaintedPixel> firstOrder;
        std::size_t firstWarning = SIZE_MAX;
        // And kept for drawing again, moved elsewhere.
        std::vector<GpxOverlay> kept;
        // The same pixels in the same order, the warning at the same place.
        for (const int drawing : {0, 1}) {
            RecordingSurface surface(1000, 1000);
            std::size_t warnedAfter = SIZE_MAX;
            const auto warn = [&] { warnedAfter = std::min(warnedAfter, surface.painted.size()); };
            if (drawing == 1)
                kept.emplace_back(std::move(loaded));
            OverlayPlot::Plot(drawing == 1 ? kept[0] : loaded, MappingKind::TwoNearest, row.points,
                              row.lines, 1000, 1000, surface.Take(), warn);
            Pixels painted;
            for (const PaintedPixel &pixel : surface.painted)
                painted.insert({pixel.X, pixel.Y});
            EXPECT_EQ(painted, row.expected) << row.what;
            if (drawing == 0) {
                firstOrder = surface.painted;
                firstWarning = warnedAfter;
            }
            EXPECT_EQ(surface.painted, firstOrder) << row.what;
            EXPECT_EQ(warnedAfter, firstWarning) << row.what;
        }
        EXPECT_EQ(firstWarning == SIZE_MAX, row.points.size() != 3) << row.what;
    }
    std::filesystem::remove(path);
}

// More waypoints than one thread maps: the same pixels in the same order as mapping one waypoint
// after another, the warning where the first that cannot be mapped stood, the error ending it.
TEST(WaypointOverlay, ManyWaypointsAreDrawnInOrder)
{
    // Near (45, 20) no pair of the three points maps; near (48, 15.1) the references of the
    // second calibration share a longitude.
    const std::vector<TCalibPoint> threePoints = {TCalibPoint {100, 100, 50, 14},
                                                  TCalibPoint {300, 400, 49, 15},
                                                  TCalibPoint {310, 120, 45, 20}};
    const std::vector<TCalibPoint> sameLongitude = {
        TCalibPoint {0, 0, 50, 14}, TCalibPoint {100, 100, 49, 15}, TCalibPoint {200, 200, 48, 15}};
    const std::size_t count = 2 * OverlayPlot::ParallelAbove + 1;
    const struct
    {
        const char *what;
        std::vector<TCalibPoint> points;
        std::size_t at; // the special waypoint, and again 20000 later
        const char *lat, *lon;
    } rows[] = {
        {"none special", Calibration, count, "", ""},
        {"unmappable in the first half", threePoints, 1000, "45", "20"},
        {"unmappable in the second half", threePoints, count / 2 + 1000, "45", "20"},
        {"error in the first half", sameLongitude, 1000, "48", "15.1"},
        {"error in the second half", sameLongitude, count / 2 + 1000, "48", "15.1"},
    };
    for (const auto &row : rows) {
        GpxLines texts;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string lat = "49." + std::to_string(i % 1000);
            const std::string lon = "14." + std::to_string(i % 997);
            if (i == row.at || i == row.at + 20000)
                texts.AddPoint(std::string_view(row.lat), std::string_view(row.lon));
            else
                texts.AddPoint(lat, lon);
        }
        PositionList positions;
        positions.Add(texts);

        std::vector<PaintedPixel> expected;
        std::size_t expectedWarning = SIZE_MAX;
        std::string expectedError;
        const Mapping mapping(MappingKind::TwoNearest, row.points);
        try {
            for (std::size_t i = 0; i < positions.Count(); ++i) {
                const std::optional<Pixel> pixel
                    = mapping.GeoToPixel(positions.At(i).Lat, positions.At(i).Lon);
                if (!pixel)
                    expectedWarning = std::min(expectedWarning, expected.size());
                else if (pixel->X >= 0 && pixel->Y >= 0 && pixel->X < 1000 && pixel->Y < 1000)
                    expected.push_back({pixel->X, pixel->Y});
            }
        } catch (const Error &error) {
            expectedError = error.what();
        }

        const GpxOverlay overlay(std::move(positions), PositionList(), false);
        RecordingSurface surface(1000, 1000);
        std::size_t warning = SIZE_MAX;
        int warnings = 0;
        std::string error;
        try {
            DrawWaypoints(overlay, row.points, surface, [&] {
                ++warnings;
                warning = surface.painted.size();
            });
        } catch (const Error &thrown) {
            error = thrown.what();
        }
        EXPECT_EQ(surface.painted, expected) << row.what;
        EXPECT_EQ(warning, expectedWarning) << row.what;
        EXPECT_EQ(warnings, expectedWarning == SIZE_MAX ? 0 : 1) << row.what;
        EXPECT_EQ(error, expectedError) << row.what;
        EXPECT_EQ(error.empty(), !SameRecords(row.points, sameLongitude)) << row.what;
    }
}

} // namespace
} // namespace carteva
