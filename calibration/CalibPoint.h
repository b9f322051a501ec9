// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Extended.h"

#include <array>
#include <cstdint>
#include <span>

namespace carteva {

// One calibration point. On disk it is a 40-byte record: X, Y (int32 LE), Lat (10 bytes), a 6-byte
// gap, Lon (10 bytes), a 6-byte gap. The gaps mean nothing, but a record read from a file keeps
// them so that writing it back gives the same bytes.
struct TCalibPoint
{
    static constexpr std::size_t RecordSize = 40;
    using Gap = std::array<std::uint8_t, 6>;
    using Record = std::array<std::uint8_t, RecordSize>;

    std::int32_t X = 0;
    std::int32_t Y = 0;
    Extended Lat = 0;
    Extended Lon = 0;
    Gap LatGap {}; // bytes 18..23
    Gap LonGap {}; // bytes 34..39

    static TCalibPoint FromRecord(const Record &record);
    Record ToRecord() const;
};

// Whether both lists hold the same records in the same order, gap bytes included.
bool SameRecords(std::span<const TCalibPoint> a, std::span<const TCalibPoint> b);

// Index of the first point exactly at (x, y), or -1.
int FindPoint(std::span<const TCalibPoint> points, std::int32_t x, std::int32_t y);

} // namespace carteva
