// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/GeoToPixel.h"

#include "calibration/Errors.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <limits>
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
        ASSERT_EQ(got.has_value(), row.expected.has_value()) << row.name;
        if (got) {
            EXPECT_EQ(got->X, row.expected->X) << row.name;
            EXPECT_EQ(got->Y, row.expected->Y) << row.name;
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
    for (const auto &row : rows) {
        Outcome got = Outcome::Value;
        try {
            GeoToPixel(row.points, row.lat, row.lon);
        } catch (const EInvalidOp &) {
            got = Outcome::Invalid;
        } catch (const EZeroDivide &) {
            got = Outcome::ZeroDivide;
        } catch (const EOverflow &) {
            got = Outcome::Overflow;
        }
        EXPECT_EQ(got, row.expected) << row.name;
    }
}

} // namespace
} // namespace carteva
