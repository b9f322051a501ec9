// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibPoint.h"

#include <algorithm>
#include <cstring>

namespace carteva {

namespace {

constexpr std::size_t XOffset = 0;
constexpr std::size_t YOffset = 4;
constexpr std::size_t LatOffset = 8;
constexpr std::size_t LatGapOffset = 18;
constexpr std::size_t LonOffset = 24;
constexpr std::size_t LonGapOffset = 34;

std::int32_t ReadInt32(const std::uint8_t *bytes)
{
    const std::uint32_t value = std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8
        | std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[3]) << 24;
    return static_cast<std::int32_t>(value);
}

void WriteInt32(std::uint8_t *bytes, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

} // namespace

TCalibPoint TCalibPoint::FromRecord(const Record &record)
{
    TCalibPoint point;
    point.X = ReadInt32(record.data() + XOffset);
    point.Y = ReadInt32(record.data() + YOffset);
    // Byte copies, never arithmetic: whatever bit pattern the file holds comes back unchanged.
    point.Lat = ExtendedFromBytes(record.data() + LatOffset);
    point.Lon = ExtendedFromBytes(record.data() + LonOffset);
    std::memcpy(point.LatGap.data(), record.data() + LatGapOffset, point.LatGap.size());
    std::memcpy(point.LonGap.data(), record.data() + LonGapOffset, point.LonGap.size());
    return point;
}

TCalibPoint::Record TCalibPoint::ToRecord() const
{
    Record record;
    WriteInt32(record.data() + XOffset, X);
    WriteInt32(record.data() + YOffset, Y);
    const ExtendedBytes lat = ExtendedToBytes(Lat);
    const ExtendedBytes lon = ExtendedToBytes(Lon);
    std::copy(lat.begin(), lat.end(), record.begin() + LatOffset);
    std::copy(LatGap.begin(), LatGap.end(), record.begin() + LatGapOffset);
    std::copy(lon.begin(), lon.end(), record.begin() + LonOffset);
    std::copy(LonGap.begin(), LonGap.end(), record.begin() + LonGapOffset);
    return record;
}

bool SameRecords(std::span<const TCalibPoint> a, std::span<const TCalibPoint> b)
{
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(),
        [](const TCalibPoint &x, const TCalibPoint &y) { return x.ToRecord() == y.ToRecord(); });
}

int FindPoint(std::span<const TCalibPoint> points, std::int32_t x, std::int32_t y)
{
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i].X == x && points[i].Y == y)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace carteva
