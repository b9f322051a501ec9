// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/GeoToPixel.h"

#include "calibration/BestFit.h"
#include "calibration/Errors.h"
#include "calibration/MapProjection.h"
#include "calibration/LongitudeSpan.h"
#include "calibration/Mapping.h"
#include "calibration/ProjectionCatalogue.h"
#include "calibration/ProjectionRanking.h"
#include "calibration/Residuals.h"

#include <gtest/gtest.h>
#include <proj.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <string_view>
#include <vector>

namespace carteva {
namespace {

// Two points 200 × 300 pixels apart, one degree apart on each axis.
const std::vector<TCalibPoint> Pair
    = {TCalibPoint {100, 100, 50.0L, 14.0L}, TCalibPoint {300, 400, 49.0L, 15.0L}};

struct Row
{
    const char *name;
    std::vector<TCalibPoint> points;
    Extended lat, lon;
    std::optional<Pixel> expected;
};

TEST(GeoToPixel, MapsThroughTheNearestWellSeparatedPair)
{
    const std::int64_t max = INT_MAX;
    // A and B both lie within 0.005 degrees of (50, 14) and within 30 pixels of each other in X;
    // whichever is nearest pairs with C, and the two pairs give different pixels.
    const TCalibPoint a = TCalibPoint {100, 100, 50.003L, 14.003L};
    const TCalibPoint b = TCalibPoint {110, 300, 49.999L, 13.999L};
    const TCalibPoint c = TCalibPoint {600, 700, 48.0L, 16.0L};
    const Row rows[] = {
        {"worked example, tie keeps the first", Pair, 49.5L, 14.5L, Pixel {200, 250}},
        {"the first point's own position", Pair, 50.0L, 14.0L, Pixel {100, 100}},
        {"the second point's own position", Pair, 49.0L, 15.0L, Pixel {300, 400}},
        {"extrapolates to negative pixels", Pair, 51.0L, 13.0L, Pixel {-100, -200}},
        {"second nearest 20 px away in X is passed over",
         {TCalibPoint {100, 100, 50.0L, 14.0L}, TCalibPoint {120, 200, 49.9L, 14.1L},
          TCalibPoint {400, 500, 48.0L, 16.0L}},
         50.0L,
         14.02L,
         Pixel {103, 100}},
        {"second nearest 20 px away in Y is passed over",
         {TCalibPoint {100, 100, 50.0L, 14.0L}, TCalibPoint {200, 120, 49.9L, 14.1L},
          TCalibPoint {400, 500, 48.0L, 16.0L}},
         50.0L,
         14.02L,
         Pixel {103, 100}},
        {"keys tied at zero keep the earlier point", {a, b, c}, 50.0L, 14.0L, Pixel {99, 101}},
        {"keys tied at zero keep the earlier point, reversed",
         {b, a, c},
         50.0L,
         14.0L,
         Pixel {110, 300}},
        {"rounds half to even",
         {TCalibPoint {0, 0, 0, 0}, TCalibPoint {40, 56, 1, 1}},
         0.0625L,
         0.0625L,
         Pixel {2, 4}},
        {"31 pixels apart is enough",
         {TCalibPoint {0, 0, 0, 0}, TCalibPoint {31, 31, 1, 1}},
         2,
         2,
         Pixel {62, 62}},
        {"30 pixels apart is not",
         {TCalibPoint {0, 0, 0, 0}, TCalibPoint {30, 300, 1, 1}},
         2,
         2,
         std::nullopt},
        {"empty list", {}, 50, 14, std::nullopt},
        {"single point", {TCalibPoint {100, 100, 50, 14}}, 50, 14, std::nullopt},
        {"nearest only below 99999999 hundredths",
         {TCalibPoint {0, 0, 1000000, 0}, TCalibPoint {100, 100, 1000001, 0}},
         0,
         0,
         std::nullopt},
        {"second only below 1215752191 hundredths",
         {TCalibPoint {0, 0, 0, 0}, TCalibPoint {100, 100, 12157522, 0}},
         0,
         0,
         std::nullopt},
        {"second just inside its start value",
         {TCalibPoint {0, 0, 0, 0}, TCalibPoint {100, 100, 12157521, 1}},
         0,
         0,
         Pixel {0, 0}},
        {"a key beyond 32 bits is not mistaken for a small one",
         {TCalibPoint {0, 0, 30000000, 0}, TCalibPoint {100, 100, 50, 14},
          TCalibPoint {300, 400, 49, 15}},
         49.5L,
         14.5L,
         Pixel {200, 250}},
        {"pixel span of the whole int32 range",
         {TCalibPoint {INT_MIN, INT_MIN, 0, 0}, TCalibPoint {INT_MAX, INT_MAX, 1, 1}},
         0.5L,
         0.5L,
         Pixel {0, 0}},
        {"results beyond 32 bits",
         {TCalibPoint {0, 0, 0, 0}, TCalibPoint {INT_MAX, INT_MAX, 1, 1}},
         3,
         3,
         Pixel {3 * max, 3 * max}},
        {"result near the int64 limit",
         {TCalibPoint {INT_MAX, 0, 0, 0}, TCalibPoint {INT_MAX - 64, 100, 1, -0x1p-57L}},
         0,
         1 - 0x1p-20L,
         Pixel {max + (LLONG_MAX - (1LL << 43) + 1), 0}},
    };
    for (const Row &row : rows) {
        const std::optional<Pixel> got = GeoToPixel(row.points, row.lat, row.lon);
        // The window's default mapping object is the same rule, result for result.
        const std::optional<Pixel> viaMapping
            = Mapping(MappingKind::TwoNearest, row.points).GeoToPixel(row.lat, row.lon);
        ASSERT_EQ(got.has_value(), row.expected.has_value()) << row.name;
        ASSERT_EQ(viaMapping.has_value(), row.expected.has_value()) << row.name;
        if (got) {
            EXPECT_EQ(got->X, row.expected->X) << row.name;
            EXPECT_EQ(got->Y, row.expected->Y) << row.name;
            EXPECT_EQ(viaMapping->X, row.expected->X) << row.name;
            EXPECT_EQ(viaMapping->Y, row.expected->Y) << row.name;
        }
    }
}

enum class Outcome { Value, Invalid, ZeroDivide, Overflow };

TEST(GeoToPixel, FloatingPointFailuresPropagate)
{
    const Extended inf = std::numeric_limits<Extended>::infinity();
    const Extended nan = std::numeric_limits<Extended>::quiet_NaN();
    const std::vector<TCalibPoint> sameLon
        = {TCalibPoint {0, 0, 0, 10}, TCalibPoint {100, 100, 1, 10}};
    const std::vector<TCalibPoint> sameLat
        = {TCalibPoint {0, 0, 5, 0}, TCalibPoint {100, 100, 5, 1}};
    const struct
    {
        const char *name;
        std::vector<TCalibPoint> points;
        Extended lat, lon;
        Outcome expected;
    } rows[] = {
        {"same longitude", sameLon, 0.5L, 11, Outcome::ZeroDivide},
        {"same longitude, position on it", sameLon, 0.5L, 10, Outcome::Invalid},
        {"same latitude", sameLat, 6, 0.5L, Outcome::ZeroDivide},
        {"same latitude, position on it", sameLat, 5, 0.5L, Outcome::Invalid},
        {"NaN position", Pair, nan, 14, Outcome::Invalid},
        {"infinite position", Pair, 50, -inf, Outcome::Invalid},
        {"NaN in a stored point",
         {TCalibPoint {0, 0, nan, 0}, TCalibPoint {100, 100, 1, 1}},
         0,
         0,
         Outcome::Invalid},
        {"squares beyond range", Pair, 1e3000L, 14, Outcome::Overflow},
        {"key beyond the int64 range", Pair, 1e17L, 14, Outcome::Invalid},
        {"step beyond the int64 range",
         {TCalibPoint {0, 0, 0, 0}, TCalibPoint {100, 100, 1e-30L, 1e-30L}},
         1,
         1,
         Outcome::Invalid},
        {"final addition beyond the int64 range",
         {TCalibPoint {INT_MAX, 0, 0, 0}, TCalibPoint {INT_MAX - 64, 100, 1, -0x1p-57L}},
         0,
         1 - 0x1p-40L,
         Outcome::Invalid},
        {"quotient beyond the extended range",
         {TCalibPoint {0, 0, 0, 0}, TCalibPoint {100, 100, 1, 0x1p-16440L}},
         0,
         1,
         Outcome::Overflow},
    };
    const auto outcome = [](const std::function<void()> &map) {
        try {
            map();
        } catch (const EInvalidOp &) {
            return Outcome::Invalid;
        } catch (const EZeroDivide &) {
            return Outcome::ZeroDivide;
        } catch (const EOverflow &) {
            return Outcome::Overflow;
        }
        return Outcome::Value;
    };
    for (const auto &row : rows) {
        EXPECT_EQ(outcome([&] { GeoToPixel(row.points, row.lat, row.lon); }), row.expected)
            << row.name;
        const Mapping mapping(MappingKind::TwoNearest, row.points);
        EXPECT_EQ(outcome([&] { mapping.GeoToPixel(row.lat, row.lon); }), row.expected) << row.name;
        EXPECT_EQ(outcome([&] { mapping.GeoToPixelExact(row.lat, row.lon); }), row.expected)
            << row.name;
    }
}


// A map whose pixels turn into positions by a known linear transform: in a plane of metres east
// (u) and south (w) about (lat0, lon0), u = m[0][0] X + m[0][1] Y and w = m[1][0] X + m[1][1] Y;
// longitudes are spread by the cosine of the points' mean latitude, as the fit assumes.
struct SyntheticMap
{
    Extended m[2][2];
    std::vector<std::pair<int, int>> pixels;
    Extended lat0 = 50, lon0 = 14, metresPerDegree = 111320;

    Extended meanLat() const
    {
        Extended sum = 0;
        for (const auto &[x, y] : pixels)
            sum += lat0 - (m[1][0] * x + m[1][1] * y) / metresPerDegree;
        return sum / Extended(pixels.size());
    }
    GeoPosition at(Extended x, Extended y) const
    {
        const Extended cosLat = std::cos(meanLat() * std::numbers::pi_v<Extended> / 180);
        const Extended lon = lon0 + (m[0][0] * x + m[0][1] * y) / metresPerDegree / cosLat;
        return {lat0 - (m[1][0] * x + m[1][1] * y) / metresPerDegree, lon > 180 ? lon - 360 : lon};
    }
    std::vector<TCalibPoint> points() const
    {
        std::vector<TCalibPoint> result;
        for (const auto &[x, y] : pixels) {
            const GeoPosition p = at(x, y);
            result.push_back(TCalibPoint {x, y, p.Lat, p.Lon});
        }
        return result;
    }
};

// A rotation by a few degrees, a metres-per-pixel scale on each axis and a shear of the columns.
SyntheticMap Transform(double degrees, Extended scaleX, Extended scaleY, Extended shear,
                       std::vector<std::pair<int, int>> pixels)
{
    const Extended a = degrees * std::numbers::pi_v<Extended> / 180;
    return SyntheticMap {{{scaleX * std::cos(a), -scaleY * std::sin(a) + shear},
                          {scaleX * std::sin(a), scaleY * std::cos(a)}},
                         std::move(pixels)};
}

TEST(GeoToPixel, BestFitReproducesKnownTransforms)
{
    const std::vector<std::pair<int, int>> five
        = {{0, 0}, {1599, 0}, {0, 1199}, {1599, 1199}, {800, 600}};
    const struct
    {
        const char *name;
        SyntheticMap map;
    } rows[] = {
        {"north-up", Transform(0, 5, 5, 0, five)},
        {"turned by 2 degrees", Transform(2, 5, 5, 0, five)},
        {"turned by -2 degrees, three points", Transform(-2, 5, 5, 0, {{10, 20}, {1500, 80}, {700, 1100}})},
        {"sheared", Transform(0, 5, 5, 0.8L, five)},
        {"scaled differently per axis", Transform(0, 7, 3, 0, five)},
        {"turned, sheared and scaled", Transform(2, 7, 3, 0.8L, five)},
        {"two points: a turned similarity", Transform(2, 5, 5, 0, {{100, 150}, {1400, 1000}})},
        {"two points on one row", Transform(-30, 2, 2, 0, {{100, 500}, {1400, 500}})},
        {"across the 180th meridian",
         [&] {
             SyntheticMap map = Transform(2, 5, 5, 0, five);
             map.lon0 = 179.98L;
             return map;
         }()},
    };
    const PixelPoint checks[] = {{0, 0}, {1599, 1199}, {321.5, 987.25}, {-400, 2000}, {5000, -3000}};
    for (const auto &row : rows) {
        const std::vector<TCalibPoint> points = row.map.points();
        const Mapping mapping(MappingKind::BestFit, points);
        ASSERT_EQ(mapping.Reason(), "") << row.name;
        for (const PixelPoint &check : checks) {
            const GeoPosition position = row.map.at(check.X, check.Y);
            const std::optional<PixelPoint> pixel
                = mapping.GeoToPixelExact(position.Lat, position.Lon);
            ASSERT_TRUE(pixel) << row.name;
            EXPECT_NEAR(pixel->X, check.X, 1e-6) << row.name;
            EXPECT_NEAR(pixel->Y, check.Y, 1e-6) << row.name;
            const std::optional<GeoPosition> back = mapping.PixelToGeo(check.X, check.Y);
            ASSERT_TRUE(back) << row.name;
            EXPECT_NEAR(double(back->Lat), double(position.Lat), 1e-11) << row.name;
            EXPECT_NEAR(double(back->Lon), double(position.Lon), 1e-11) << row.name;
        }
        const ResidualReport report = ComputeResiduals(MappingKind::BestFit, points);
        for (const PointResidual &residual : report.Points) {
            ASSERT_TRUE(residual.Known) << row.name;
            EXPECT_LT(residual.Pixels, 1e-6) << row.name;
            EXPECT_LT(residual.Metres, 1e-4) << row.name;
            EXPECT_FALSE(residual.Suspect) << row.name;
        }
    }
}

// A map sheet drawn in a projection, as PROJ computes it: pixel (x, y) lies at easting
// E0 + res (x cos a + y sin a) and northing N0 - res (y cos a - x sin a), the sheet's centre at
// (lat, lon). Calibration points sit on a grid of whole pixels with their exact positions.
struct ProjectedSheet
{
    const char *name;
    const char *definition;
    double lat, lon; // the centre
    double metresPerPixel;
    int width, height;
    int across, down; // calibration points
    double degrees = 0; // turned

    struct Plane
    {
        PJ_CONTEXT *context = proj_context_create();
        PJ *toPlane = nullptr;
        explicit Plane(const char *definition)
        {
            PJ *raw = proj_create_crs_to_crs(context, "EPSG:4326", definition, nullptr);
            toPlane = proj_normalize_for_visualization(context, raw);
            proj_destroy(raw);
        }
        ~Plane()
        {
            proj_destroy(toPlane);
            proj_context_destroy(context);
        }
        PJ_COORD Go(PJ_DIRECTION direction, double a, double b) const
        {
            return proj_trans(toPlane, direction, proj_coord(a, b, 0, 0));
        }
    };

    GeoPosition At(const Plane &plane, double x, double y) const
    {
        const PJ_COORD centre = plane.Go(PJ_FWD, lon, lat);
        const double a = degrees * std::numbers::pi / 180;
        const double dx = (x - width / 2.0) * metresPerPixel, dy = (y - height / 2.0) * metresPerPixel;
        const PJ_COORD position = plane.Go(PJ_INV, centre.xy.x + dx * std::cos(a) + dy * std::sin(a),
                                           centre.xy.y - dy * std::cos(a) + dx * std::sin(a));
        return {position.lp.phi, position.lp.lam};
    }
    std::vector<TCalibPoint> Points(const Plane &plane) const
    {
        std::vector<TCalibPoint> points;
        for (int j = 0; j < down; ++j) {
            for (int i = 0; i < across; ++i) {
                const int x = int(width * (0.04 + 0.92 * i / (across - 1)));
                const int y = int(height * (0.04 + 0.92 * j / (down - 1)));
                const GeoPosition p = At(plane, x, y);
                points.push_back(TCalibPoint {x, y, p.Lat, p.Lon});
            }
        }
        return points;
    }
};

TEST(GeoToPixel, BestFitFollowsProjectedSheets)
{
    const ProjectedSheet sheets[] = {
        {"1:25,000 UTM, 6 x 6 km", "EPSG:32633", 50.0, 15.5, 2.5, 2400, 2400, 3, 3},
        {"1:250,000 UTM, 1.5 x 1 degrees", "EPSG:32633", 50.5, 14.25, 25, 4290, 4450, 4, 3},
        {"1:1,000,000 conformal conic, 6 x 4 degrees",
         "+proj=lcc +lat_0=50 +lon_0=15 +lat_1=47 +lat_2=53 +datum=WGS84 +units=m +type=crs", 50, 15,
         100, 4300, 4450, 4, 3},
        {"Web Mercator, 1 degree at 60 N", "EPSG:3857", 60, 10, 76.437, 1456, 2913, 3, 3},
        {"Web Mercator, 1 degree at 20 N", "EPSG:3857", 20, 10, 76.437, 1456, 1550, 3, 3},
        {"1:250,000 UTM turned by 2 degrees", "EPSG:32633", 50.5, 14.25, 25, 4290, 4450, 4, 3, 2},
    };
    for (const ProjectedSheet &sheet : sheets) {
        const ProjectedSheet::Plane plane(sheet.definition);
        const std::vector<TCalibPoint> points = sheet.Points(plane);
        for (const bool named : {false, true}) {
            const MappingSetup setup(MappingKind::BestFit,
                                     named ? std::make_shared<MapProjection>(sheet.definition)
                                           : nullptr);
            const Mapping mapping(setup, points);
            ASSERT_EQ(mapping.Reason(), "") << sheet.name;
            double worst = 0;
            std::uint32_t random = 12345;
            for (int k = 0; k < 500; ++k) {
                random = random * 1664525u + 1013904223u;
                const double x = (random >> 8) % 100000 / 100000.0 * sheet.width;
                random = random * 1664525u + 1013904223u;
                const double y = (random >> 8) % 100000 / 100000.0 * sheet.height;
                const GeoPosition position = sheet.At(plane, x, y);
                const std::optional<PixelPoint> pixel
                    = mapping.GeoToPixelExact(position.Lat, position.Lon);
                ASSERT_TRUE(pixel) << sheet.name;
                worst = std::max(worst, std::hypot(pixel->X - x, pixel->Y - y));
                // The overlay's pixel (a projection approximated near the points) is the exact
                // one rounded.
                const std::optional<Pixel> rounded = mapping.GeoToPixel(position.Lat, position.Lon);
                ASSERT_TRUE(rounded) << sheet.name;
                EXPECT_EQ(rounded->X, std::llrint(pixel->X)) << sheet.name << " " << x;
                EXPECT_EQ(rounded->Y, std::llrint(pixel->Y)) << sheet.name << " " << y;
            }
            EXPECT_LT(worst, named ? 0.05 : 1) << sheet.name << (named ? ", projection named" : "");
            // Exact points: none is suspect; one latitude mistyped by 0.01 degrees is found, under
            // either mapping, and its residual's metres are its pixels at the sheet's scale.
            for (const PointResidual &residual : ComputeResiduals(setup, points).Points)
                EXPECT_FALSE(residual.Suspect) << sheet.name;
            std::vector<TCalibPoint> mistyped = points;
            mistyped[5].Lat += 0.01L;
            for (const MappingKind kind : {MappingKind::BestFit, MappingKind::TwoNearest}) {
                const ResidualReport report
                    = ComputeResiduals(MappingSetup(kind, setup.Projection), mistyped);
                for (std::size_t i = 0; i < mistyped.size(); ++i)
                    EXPECT_EQ(report.Points[i].Suspect, i == 5) << sheet.name << " " << i;
                const PointResidual &typo = report.Points[5];
                if (kind == MappingKind::TwoNearest || !typo.Known)
                    continue;
                const GeoPosition a = sheet.At(plane, points[5].X, points[5].Y);
                const GeoPosition b = sheet.At(plane, points[5].X, points[5].Y + 100);
                const double ground = GreatCircleMetres(a.Lat, a.Lon, b.Lat, b.Lon) / 100;
                EXPECT_NEAR(typo.Metres / typo.Pixels, ground, 0.02 * ground) << sheet.name;
            }
        }
    }
}

// Sheets in systems the fits above were not tried on: the ranking puts first the sheet's own
// system or one that places every position within 0.05 px of it, with 6 points and with 9, and
// degrees below it; and the UTM zone of points across the 180° meridian is the one they lie in.
TEST(GeoToPixel, RankingFindsTheSheetsProjection)
{
    const ProjectedSheet sheets[] = {
        {"British National Grid, 1:250,000", "EPSG:27700", 52.5, -1.5, 25, 4000, 4000, 3, 3},
        {"Antarctic polar stereographic, 1:1,000,000", "EPSG:3031", -75, 100, 100, 4000, 4000, 3, 3},
        {"Swiss LV95, 1:100,000, turned by 1 degree", "EPSG:2056", 46.8, 8.2, 10, 4000, 3000, 3, 3, 1},
        {"Conus Albers, 1:5,000,000", "EPSG:5070", 38, -96, 500, 9000, 5500, 3, 3},
    };
    for (const ProjectedSheet &sheet : sheets) {
        const ProjectedSheet::Plane plane(sheet.definition);
        for (const int down : {2, 3}) {
            ProjectedSheet rows = sheet;
            rows.down = down;
            const std::vector<TCalibPoint> points = rows.Points(plane);
            const auto ranking = ProjectionRanking::Rank(points);
            ASSERT_TRUE(ranking && !ranking->empty()) << sheet.name;
            const RankedProjection &first = ranking->front();
            ASSERT_FALSE(first.Definition.empty()) << sheet.name << ", " << points.size();
            EXPECT_LT(first.HeldOutRms, 0.05) << sheet.name << ", " << points.size();
            const Mapping mapping(MappingSetup(MappingKind::BestFit,
                                               std::make_shared<MapProjection>(first.Definition)),
                                  points);
            for (const PixelPoint check : {PixelPoint {0, 0}, PixelPoint {1234.5, 2222},
                                           PixelPoint {double(sheet.width), double(sheet.height)}}) {
                const GeoPosition position = sheet.At(plane, check.X, check.Y);
                const std::optional<PixelPoint> pixel
                    = mapping.GeoToPixelExact(position.Lat, position.Lon);
                ASSERT_TRUE(pixel) << sheet.name;
                EXPECT_LT(std::hypot(pixel->X - check.X, pixel->Y - check.Y), 0.05)
                    << sheet.name << ", " << points.size() << " points: " << first.Name;
            }
        }
    }
    // A conic of its own over eastern Europe, 1:2,000,000, nine points: no listed system fits it
    // and the fitted conic recovers it.
    const ProjectedSheet custom {"custom conic", "+proj=lcc +lat_1=41 +lat_2=61 +lat_0=50 +lon_0=31 "
                                                 "+ellps=WGS84 +units=m +type=crs",
                                 50, 27, 200, 6000, 6000, 3, 3};
    const ProjectedSheet::Plane plane(custom.definition);
    const std::vector<TCalibPoint> points = custom.Points(plane);
    const auto ranking = ProjectionRanking::Rank(points);
    ASSERT_TRUE(ranking && !ranking->empty());
    EXPECT_NE(ranking->front().Name.find("fitted to the points"), std::string::npos)
        << ranking->front().Name << " " << ranking->front().HeldOutRms;
    const Mapping mapping(
        MappingSetup(MappingKind::BestFit, std::make_shared<MapProjection>(ranking->front().Definition)),
        points);
    for (const PixelPoint check : {PixelPoint {0, 0}, PixelPoint {1234.5, 4222}, PixelPoint {6000, 6000}}) {
        const GeoPosition position = custom.At(plane, check.X, check.Y);
        const std::optional<PixelPoint> pixel = mapping.GeoToPixelExact(position.Lat, position.Lon);
        ASSERT_TRUE(pixel);
        EXPECT_LT(std::hypot(pixel->X - check.X, pixel->Y - check.Y), 0.5) << ranking->front().Definition;
    }

    const std::vector<TCalibPoint> across {{0, 0, -16.1L, 179.86L},   {500, 0, -16.1L, -179.83L},
                                           {0, 400, -16.6L, 179.9L},  {500, 400, -16.6L, -179.9L},
                                           {250, 200, -16.3L, 180.0L}, {100, 300, -16.5L, 179.95L}};
    EXPECT_EQ(MapProjection::UtmFor(across), "EPSG:32760");
}

// What the exported files say of a system: whether GDAL reads northing (latitude) first from the
// WKT written, whether it is degrees, and its one header line whatever the definition's form.
TEST(GeoToPixel, ProjectionsTellTheirAxesKindAndLine)
{
    const struct
    {
        std::string definition;
        bool northingFirst;
        bool geographic;
        const char *line;
    } rows[] = {
        {"EPSG:4326", true, true, "WGS 84 (EPSG:4326)"},
        // Northing first in the database; the WKT 1 written for GDAL names no axes, which GDAL
        // reads as easting first.
        {"EPSG:31468", false, false, "DHDN / 3-degree Gauss-Kruger zone 4 (EPSG:31468)"},
        // EPSG's newer releases name it "ETRS89-SWE [SWEREF 99 TM]": only the code is sure.
        {"EPSG:3006", false, false, "… (EPSG:3006)"},
        // Both axes point north (or south) on the polar systems; the easting is still first.
        {"EPSG:3031", false, false, "WGS 84 / Antarctic Polar Stereographic (EPSG:3031)"},
        {"EPSG:3413", false, false,
         "WGS 84 / NSIDC Sea Ice Polar Stereographic North (EPSG:3413)"},
        {"EPSG:5042", false, false, "WGS 84 / UPS South (E,N) (EPSG:5042)"},
        {"EPSG:2056", false, false, "CH1903+ / LV95 (EPSG:2056)"},
        {MapProjection::DegreesAcross180, false, true,
         "unknown (+proj=longlat +datum=WGS84 +lon_wrap=180 +no_defs +type=crs)"},
        {"+proj=lcc +lat_1=47 +lat_2=53 +lat_0=50 +lon_0=15 +datum=WGS84", false, false,
         "unknown (+proj=lcc +lat_1=47 +lat_2=53 +lat_0=50 +lon_0=15 +datum=WGS84)"},
        // WKT over many lines, as gdalsrsinfo writes it.
        {"PROJCRS[\"My conic\",\n  BASEGEOGCRS[\"WGS 84\",DATUM[\"World Geodetic System 1984\",\n"
         "  ELLIPSOID[\"WGS 84\",6378137,298.257223563]]],\n  CONVERSION[\"c\",METHOD[\"Lambert "
         "Conic Conformal (1SP)\"],PARAMETER[\"Latitude of natural origin\",50],PARAMETER["
         "\"Longitude of natural origin\",15],PARAMETER[\"Scale factor at natural origin\",1],"
         "PARAMETER[\"False easting\",0],PARAMETER[\"False northing\",0]],\n  CS[Cartesian,2],"
         "AXIS[\"easting\",east,LENGTHUNIT[\"metre\",1]],AXIS[\"northing\",north,LENGTHUNIT["
         "\"metre\",1]]]",
         false, false,
         "My conic (+proj=lcc +lat_1=50 +lat_0=50 +lon_0=15 +k_0=1 +x_0=0 +y_0=0 +datum=WGS84 "
         "+units=m +no_defs +type=crs)"},
    };
    for (const auto &row : rows) {
        const MapProjection projection(row.definition);
        EXPECT_EQ(projection.NorthingFirst(), row.northingFirst) << row.definition;
        EXPECT_EQ(projection.IsGeographic(), row.geographic) << row.definition;
        const std::string_view ellipsis = "…";
        if (std::string_view(row.line).starts_with(ellipsis))
            EXPECT_TRUE(projection.OneLine().ends_with(
                std::string_view(row.line).substr(ellipsis.size())))
                << projection.OneLine();
        else
            EXPECT_EQ(projection.OneLine(), row.line) << row.definition;
    }
}

// Longitudes are spanned around the circle; an area of use holds them with its margin, also
// across the 180° meridian.
TEST(GeoToPixel, LongitudeSpansAndAreasMeetAcross180)
{
    const auto span = [](std::vector<Extended> lons) {
        std::vector<TCalibPoint> points;
        for (const Extended lon : lons)
            points.push_back(TCalibPoint {0, 0, -16, lon});
        return *LongitudeSpan::Of(points);
    };
    const struct
    {
        const char *name;
        LongitudeSpan span;
        double west, east, meanLon;
        bool crosses;
    } rows[] = {
        {"Fiji", span({179.86L, -179.83L, 179.9L, 180}), 179.86, 180.17, 179.9825, true},
        {"Greenwich", span({-0.5L, 0.25L, 1}), -0.5, 1, 0.25, false},
        {"one point", span({14}), 14, 14, 14, false},
        {"half the world", span({-90, 0, 90}), -90, 90, 0, false},
    };
    for (const auto &row : rows) {
        EXPECT_NEAR(double(row.span.West), row.west, 1e-9) << row.name;
        EXPECT_NEAR(double(row.span.East), row.east, 1e-9) << row.name;
        EXPECT_NEAR(double(row.span.MeanLon), row.meanLon, 1e-9) << row.name;
        EXPECT_EQ(row.span.CrossesAntimeridian(), row.crosses) << row.name;
    }
    CatalogueEntry fiji;
    fiji.HasArea = true;
    fiji.West = 176;
    fiji.East = -178; // across 180°
    fiji.South = -20;
    fiji.North = -12;
    EXPECT_TRUE(fiji.Holds(rows[0].span, 0));
    EXPECT_FALSE(fiji.Holds(rows[1].span, 2));
    CatalogueEntry conus {"EPSG:5070", "", "", "", true, -124.79, 24.41, -66.91, 49.38};
    LongitudeSpan sheet = span({-126, -66});
    sheet.South = 23;
    sheet.North = 50;
    EXPECT_FALSE(conus.Holds(sheet, 0));
    EXPECT_TRUE(conus.Holds(sheet, 2)); // a sheet's corners reach past the area
}

TEST(GeoToPixel, RankingNeedsFourPointsAndCanBeCancelled)
{
    const std::vector<TCalibPoint> three
        = {{0, 0, 50, 14}, {100, 0, 50, 14.1L}, {0, 100, 49.9L, 14}};
    EXPECT_TRUE(ProjectionRanking::Rank(three)->empty());
    std::vector<TCalibPoint> four = three;
    four.push_back({100, 100, 49.9L, 14.1L});
    std::size_t calls = 0;
    EXPECT_FALSE(ProjectionRanking::Rank(four, [&](std::size_t, std::size_t) {
        return ++calls < 3;
    }));
    EXPECT_EQ(calls, 3u);
}

TEST(GeoToPixel, BestFitChoosesItsModelByLeavingPointsOut)
{
    // Points on a north-up map at 0.0001 degrees a pixel, with a few pixels of noise where asked.
    const auto map = [](std::vector<std::pair<int, int>> pixels, double noise = 0) {
        std::vector<TCalibPoint> points;
        std::uint32_t random = 777;
        for (const auto &[x, y] : pixels) {
            random = random * 1664525u + 1013904223u;
            const double dx = noise * ((random >> 8) % 2001 / 1000.0 - 1);
            random = random * 1664525u + 1013904223u;
            const double dy = noise * ((random >> 8) % 2001 / 1000.0 - 1);
            points.push_back(TCalibPoint {x, y, 50 - (y + dy) * 1e-4L, 14 + (x + dx) * 1.5e-4L});
        }
        return points;
    };
    const auto grid = [](int across, int down) {
        std::vector<std::pair<int, int>> pixels;
        for (int j = 0; j < down; ++j)
            for (int i = 0; i < across; ++i)
                pixels.emplace_back(100 + 1300 * i / (across - 1), 80 + 1000 * j / (down - 1));
        return pixels;
    };
    // A 13th point in the middle, and the latitude of a corner point off by 0.01 degrees.
    const auto typo = [](std::vector<TCalibPoint> points) {
        points.push_back(TCalibPoint {700, 600, 50 - 600e-4L, 14 + 700 * 1.5e-4L});
        points[0].Lat += 0.01L;
        return points;
    };
    std::vector<std::pair<int, int>> lonely = grid(4, 2);
    lonely.emplace_back(700, 1500);
    using Model = BestFit::Model;
    const struct
    {
        const char *name;
        std::vector<TCalibPoint> points;
        Model expected;
        Model weighed;
        std::string note;
    } rows[] = {
        {"twelve noisy points of an affine map", map(grid(4, 3), 2), Model::Affine, Model::Quadratic,
         "Predicts the points no better"},
        {"sixteen noisy points", map(grid(4, 4), 2), Model::Affine, Model::Cubic,
         "Predicts the points no better"},
        {"five points", map({{0, 0}, {900, 0}, {0, 700}, {900, 700}, {450, 300}}), Model::Affine,
         Model::Quadratic, "A quadratic fit needs at least 6 points"},
        {"six points", map(grid(3, 2)), Model::Affine, Model::Quadratic,
         "6 points fix a quadratic fit exactly, leaving none to check it by"},
        {"eight points", map(grid(4, 2)), Model::Affine, Model::Quadratic,
         "A quadratic fit needs 9 points for leaving one out to judge it"},
        {"ten points on two parallels", map(grid(5, 2)), Model::Affine, Model::Quadratic,
         "The points do not spread enough for a quadratic fit"},
        {"one point alone on a third parallel", map(lonely), Model::Affine, Model::Quadratic,
         "Point 9 lies too far from the others to check a quadratic fit"},
        {"fifteen points on three parallels", map(grid(5, 3)), Model::Affine, Model::Cubic,
         "The points do not spread enough for a cubic fit"},
        {"thirteen points, one latitude mistyped", typo(map(grid(4, 3), 0.3)), Model::Affine,
         Model::Quadratic, "Predicts the points no better"},
    };
    for (const auto &row : rows) {
        const BestFit fit(row.points);
        ASSERT_EQ(fit.Reason(), "") << row.name;
        EXPECT_EQ(fit.Kind(), row.expected) << row.name;
        const auto weighed = std::find_if(fit.Candidates().begin(), fit.Candidates().end(),
                                          [&](const auto &c) { return c.Kind == row.weighed; });
        ASSERT_NE(weighed, fit.Candidates().end()) << row.name;
        EXPECT_EQ(weighed->Note.substr(0, row.note.size()), row.note) << row.name;
    }
}

TEST(GeoToPixel, MappingsGiveAReasonOrAFinitePixel)
{
    const Extended nan = std::numeric_limits<Extended>::quiet_NaN();
    const Extended inf = std::numeric_limits<Extended>::infinity();
    const TCalibPoint a {100, 100, 50, 14}, b {300, 400, 49, 15}, c {900, 200, 49.5L, 16};
    const struct
    {
        const char *name;
        MappingKind kind;
        std::vector<TCalibPoint> points;
        std::string reason;
    } rows[] = {
        {"no points", MappingKind::BestFit, {}, "Fewer than two points"},
        {"one point", MappingKind::BestFit, {a}, "Fewer than two points"},
        {"one point with a finite position",
         MappingKind::BestFit,
         {a, TCalibPoint {300, 400, nan, 15}, TCalibPoint {500, 600, 48, inf}},
         "Fewer than two points with a valid latitude and longitude"},
        {"two points on one pixel",
         MappingKind::BestFit,
         {a, TCalibPoint {100, 100, 49, 15}},
         "Two points lie on the same pixel"},
        {"two points at one position",
         MappingKind::BestFit,
         {a, TCalibPoint {300, 400, 50, 14}},
         "Two points have the same position"},
        {"three points at one position",
         MappingKind::BestFit,
         {a, TCalibPoint {300, 400, 50, 14}, TCalibPoint {500, 100, 50, 14}},
         "All points have the same position"},
        {"positions on one line",
         MappingKind::BestFit,
         {a, b, TCalibPoint {900, 200, 48.5L, 15.5L}},
         "All points lie on one line"},
        {"pixels on one line",
         MappingKind::BestFit,
         {a, b, TCalibPoint {500, 700, 49.5L, 16}},
         "The points' pixels lie on one line"},
        {"positions beyond the extended range's squares",
         MappingKind::BestFit,
         {TCalibPoint {0, 0, 1e4000L, 0}, TCalibPoint {100, 100, -1e4000L, 1}},
         "The points' positions are out of range"},
        {"a left-out point does not spoil the rest",
         MappingKind::BestFit,
         {a, TCalibPoint {300, 400, nan, 15}, b},
         ""},
        {"three spread points", MappingKind::BestFit, {a, b, c}, ""},
        {"nearest pair: one point", MappingKind::TwoNearest, {a}, "Fewer than two points"},
        {"nearest pair: none 30 px apart on both axes",
         MappingKind::TwoNearest,
         {a, TCalibPoint {130, 400, 49, 15}, TCalibPoint {120, 900, 49, 16}},
         "No two points lie more than 30 pixels apart both across and down"},
        {"nearest pair: the only pair is the last two",
         MappingKind::TwoNearest,
         {a, TCalibPoint {120, 400, 49, 15}, TCalibPoint {200, 110, 49, 16}},
         ""},
    };
    for (const auto &row : rows) {
        const Mapping mapping(row.kind, row.points);
        EXPECT_EQ(mapping.Reason(), row.reason) << row.name;
        EXPECT_EQ(ComputeResiduals(row.kind, row.points).Reason, row.reason) << row.name;
        if (row.reason.empty() || row.kind != MappingKind::BestFit)
            continue;
        EXPECT_FALSE(mapping.GeoToPixel(50, 14)) << row.name;
        EXPECT_FALSE(mapping.GeoToPixelExact(50, 14)) << row.name;
        EXPECT_FALSE(mapping.PixelToGeo(100, 100)) << row.name;
    }
}

TEST(GeoToPixel, PixelsMapBackToPositions)
{
    const std::vector<TCalibPoint> three
        = {TCalibPoint {100, 100, 50, 14}, TCalibPoint {120, 400, 49, 14.1L},
           TCalibPoint {700, 700, 48, 16}};
    const struct
    {
        const char *name;
        MappingKind kind;
        std::vector<TCalibPoint> points;
        double x, y;
        std::optional<GeoPosition> expected;
    } rows[] = {
        {"nearest pair: the worked example", MappingKind::TwoNearest, Pair, 200, 250,
         GeoPosition {49.5L, 14.5L}},
        {"nearest pair: a point's own pixel", MappingKind::TwoNearest, Pair, 300, 400,
         GeoPosition {49, 15}},
        {"nearest pair: the partner 20 px away in X is passed over", MappingKind::TwoNearest, three,
         110, 100, GeoPosition {50, 14 + 2.0L / 60}},
        {"nearest pair: one point", MappingKind::TwoNearest, {Pair[0]}, 200, 250, std::nullopt},
        {"nearest pair: a pixel that is not finite", MappingKind::TwoNearest, Pair,
         std::numeric_limits<double>::infinity(), 0, std::nullopt},
        {"best fit: midway between two points", MappingKind::BestFit, Pair, 200, 250,
         GeoPosition {49.5L, 14.5L}},
        {"best fit: a pixel that is not finite", MappingKind::BestFit, Pair,
         std::numeric_limits<double>::quiet_NaN(), 0, std::nullopt},
    };
    for (const auto &row : rows) {
        const std::optional<GeoPosition> got = Mapping(row.kind, row.points).PixelToGeo(row.x, row.y);
        ASSERT_EQ(got.has_value(), row.expected.has_value()) << row.name;
        if (got) {
            EXPECT_NEAR(double(got->Lat), double(row.expected->Lat), 1e-12) << row.name;
            EXPECT_NEAR(double(got->Lon), double(row.expected->Lon), 1e-12) << row.name;
        }
    }
}

TEST(GeoToPixel, OnlyTheMistypedPointIsSuspect)
{
    // Graticule crossings on a 1600 × 1200 map at about 8.6 m a pixel; one latitude typed 0.01°
    // (130 px) off.
    const std::vector<std::pair<int, int>> eight = {{100, 80},   {1500, 120}, {800, 100},
                                                    {120, 1100}, {1480, 1050}, {820, 1120},
                                                    {400, 600},  {1200, 640}};
    const struct
    {
        const char *name;
        MappingKind kind;
        double degrees;
        std::size_t mistyped;
    } rows[] = {
        {"best fit, turned by 2 degrees, in the middle", MappingKind::BestFit, 2, 6},
        {"best fit, turned by 2 degrees, at a corner", MappingKind::BestFit, 2, 3},
        {"best fit, north-up, at an edge", MappingKind::BestFit, 0, 2},
        {"nearest pair, north-up, in the middle", MappingKind::TwoNearest, 0, 6},
        {"nearest pair, north-up, at a corner", MappingKind::TwoNearest, 0, 0},
    };
    for (const auto &row : rows) {
        std::vector<TCalibPoint> points = Transform(row.degrees, 8.56L, 8.56L, 0, eight).points();
        points[row.mistyped].Lat += 0.01L;
        const ResidualReport report = ComputeResiduals(row.kind, points);
        ASSERT_EQ(report.Reason, "") << row.name;
        double sumSquares = 0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const PointResidual &residual = report.Points[i];
            ASSERT_TRUE(residual.Known && residual.LeaveOneOutPixels) << row.name << " " << i;
            EXPECT_EQ(residual.Suspect, i == row.mistyped) << row.name << " " << i;
            sumSquares += residual.Pixels * residual.Pixels;
            // Left out, each point lands where a mapping made without it puts it.
            std::vector<TCalibPoint> others = points;
            others.erase(others.begin() + std::ptrdiff_t(i));
            const std::optional<PixelPoint> without
                = Mapping(row.kind, others).GeoToPixelExact(points[i].Lat, points[i].Lon);
            ASSERT_TRUE(without) << row.name << " " << i;
            EXPECT_NEAR(*residual.LeaveOneOutPixels,
                        std::hypot(without->X - points[i].X, without->Y - points[i].Y), 1e-6)
                << row.name << " " << i;
        }
        EXPECT_NEAR(*report.Points[row.mistyped].LeaveOneOutPixels, 130, 1) << row.name;
        // Six parameters of the affine fit are taken off the eight points; none of the nearest pair.
        const double freedom = row.kind == MappingKind::BestFit ? 2 : 8;
        ASSERT_TRUE(report.RmsPixels) << row.name;
        EXPECT_NEAR(*report.RmsPixels, std::sqrt(sumSquares / freedom), 1e-9) << row.name;
        // The others place the mistyped point's pixel exactly at its true position, 0.01° of
        // latitude away on a sphere of the mean radius.
        if (row.kind == MappingKind::TwoNearest) {
            EXPECT_NEAR(report.Points[row.mistyped].Metres, 1111.95, 0.01) << row.name;
        }
    }
}

} // namespace
} // namespace carteva
