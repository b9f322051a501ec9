// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/PixelSurface.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>
#include <vector>

namespace carteva {
namespace {

using Call = std::tuple<std::int64_t, std::int64_t, Colour>;

class RecordingSurface : public PixelSurface
{
public:
    std::vector<Call> calls;
    bool SetPixel(std::int64_t x, std::int64_t y, Colour colour) override
    {
        calls.emplace_back(x, y, colour);
        return x >= 0 && y >= 0;
    }
};

TCalibPoint At(std::int32_t x, std::int32_t y)
{
    TCalibPoint point;
    point.X = x;
    point.Y = y;
    return point;
}

// The pattern pinned by the first row below, for rows about something else.
std::vector<Call> Plus(std::int64_t x, std::int64_t y)
{
    return {{x, y, ColourRed},
            {x + 1, y, ColourRed},
            {x - 1, y, ColourRed},
            {x, y + 1, ColourRed},
            {x, y - 1, ColourRed}};
}

std::vector<Call> Concat(std::initializer_list<std::vector<Call>> parts)
{
    std::vector<Call> all;
    for (const auto &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(DrawPointMarks, PaintsFiveRedPixelsPerPointInListOrder)
{
    const std::int64_t max = INT_MAX;
    const std::int64_t min = INT_MIN;
    const struct
    {
        const char *name;
        std::vector<TCalibPoint> points;
        std::vector<Call> expected;
    } rows[] = {
        {"no points", {}, {}},
        {"centre, right, left, below, above",
         {At(12, 34)},
         {{12, 34, ColourRed},
          {13, 34, ColourRed},
          {11, 34, ColourRed},
          {12, 35, ColourRed},
          {12, 33, ColourRed}}},
        {"list order, duplicates painted twice",
         {At(5, 5), At(0, 0), At(5, 5)},
         Concat({Plus(5, 5), Plus(0, 0), Plus(5, 5)})},
        {"arms beyond the 32-bit range do not wrap",
         {At(INT_MAX, INT_MIN)},
         {{max, min, ColourRed},
          {max + 1, min, ColourRed},
          {max - 1, min, ColourRed},
          {max, min + 1, ColourRed},
          {max, min - 1, ColourRed}}},
    };
    for (const auto &row : rows) {
        RecordingSurface surface;
        DrawPointMarks(row.points, surface);
        EXPECT_EQ(surface.calls, row.expected) << row.name;
    }
}

} // namespace
} // namespace carteva
