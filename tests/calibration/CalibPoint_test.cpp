// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibPoint.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace carteva {
namespace {

TEST(CalibPoint, RecordsSurviveReadingAndWritingBitForBit)
{
    // Random bytes give NaN payloads, unnormals, pseudo-denormals and non-zero gaps in plenty.
    std::mt19937 random(20240601);
    for (int i = 0; i < 1000; ++i) {
        TCalibPoint::Record record;
        for (auto &byte : record)
            byte = static_cast<std::uint8_t>(random());
        if (i == 0) { // a signaling NaN with a payload, which an arithmetic copy would quieten
            const ExtendedBytes nan = ExtendedToBytes(ExtendedFromBits(0x7FFF, 0x8000000000000123));
            std::memcpy(record.data() + 8, nan.data(), nan.size());
        }
        ASSERT_EQ(TCalibPoint::FromRecord(record).ToRecord(), record) << "record " << i;
    }
}

TEST(CalibPoint, RecordFieldsAreLittleEndianAtTheirOffsets)
{
    TCalibPoint::Record record;
    record.fill(0xA5);
    const std::uint8_t xy[] = {0x01, 0x02, 0x03, 0x84, 0xFE, 0, 0, 0};
    const ExtendedBytes lat = ExtendedToBytes(50.5L);
    const ExtendedBytes lon = ExtendedToBytes(-14.25L);
    std::memcpy(record.data(), xy, 8);
    std::memcpy(record.data() + 8, lat.data(), 10);
    std::memcpy(record.data() + 24, lon.data(), 10);

    const TCalibPoint point = TCalibPoint::FromRecord(record);
    EXPECT_EQ(point.X, static_cast<std::int32_t>(0x84030201u));
    EXPECT_EQ(point.Y, 254);
    EXPECT_EQ(point.Lat, 50.5L);
    EXPECT_EQ(point.Lon, -14.25L);
    EXPECT_EQ(point.LatGap, (TCalibPoint::Gap {0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5}));

    // A point made new writes zero gaps.
    const TCalibPoint fresh {point.X, point.Y, point.Lat, point.Lon};
    TCalibPoint::Record expected = record;
    std::fill(expected.begin() + 18, expected.begin() + 24, 0);
    std::fill(expected.begin() + 34, expected.end(), 0);
    EXPECT_EQ(fresh.ToRecord(), expected);
}

TEST(CalibPoint, FindPointReturnsTheFirstExactMatch)
{
    const std::vector<TCalibPoint> points = {{10, 20}, {5, 5}, {10, 20}, {20, 10}};
    const struct
    {
        std::int32_t x, y;
        int expected;
    } rows[] = {{10, 20, 0}, {5, 5, 1}, {20, 10, 3}, {10, 10, -1}, {20, 20, -1}, {10, 21, -1}};
    for (const auto &row : rows)
        EXPECT_EQ(FindPoint(points, row.x, row.y), row.expected) << row.x << "," << row.y;
    EXPECT_EQ(FindPoint({}, 0, 0), -1);
}

} // namespace
} // namespace carteva
