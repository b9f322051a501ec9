// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace carteva {

// The calibration file's bytes: a header holding the picture's width and height (int32 LE each),
// then one TCalibPoint record per point. Nothing marks the end, so a tail shorter than a record
// is damage.
class CalibrationLayout
{
public:
    static constexpr std::size_t HeaderSize = 8;
    static constexpr std::size_t RecordSize = TCalibPoint::RecordSize;

    struct Header
    {
        std::int32_t Width = 0;
        std::int32_t Height = 0;
    };

    static Header ReadHeader(std::span<const std::uint8_t, HeaderSize> bytes);
    static std::vector<std::uint8_t> Encode(std::int32_t width, std::int32_t height,
                                            std::span<const TCalibPoint> points);
    // Appends the whole records at the start of `records` (bytes after the header); a shorter
    // tail is left for the caller to judge.
    static void AppendRecords(std::span<const std::uint8_t> records,
                              std::vector<TCalibPoint> &points);
};

} // namespace carteva
