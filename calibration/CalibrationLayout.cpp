// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibrationLayout.h"

#include <cstring>

namespace carteva {

namespace {

std::int32_t Int32At(const std::uint8_t *bytes)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return static_cast<std::int32_t>(value);
}

void AppendInt32(std::vector<std::uint8_t> &bytes, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

} // namespace

CalibrationLayout::Header
CalibrationLayout::ReadHeader(std::span<const std::uint8_t, HeaderSize> bytes)
{
    return {Int32At(bytes.data()), Int32At(bytes.data() + 4)};
}

std::vector<std::uint8_t> CalibrationLayout::Encode(std::int32_t width, std::int32_t height,
                                                    std::span<const TCalibPoint> points)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(HeaderSize + RecordSize * points.size());
    AppendInt32(bytes, width);
    AppendInt32(bytes, height);
    for (const TCalibPoint &point : points) {
        const TCalibPoint::Record record = point.ToRecord();
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return bytes;
}

void CalibrationLayout::AppendRecords(std::span<const std::uint8_t> records,
                                      std::vector<TCalibPoint> &points)
{
    TCalibPoint::Record record;
    for (std::size_t at = 0; at + RecordSize <= records.size(); at += RecordSize) {
        std::memcpy(record.data(), records.data() + at, RecordSize);
        points.push_back(TCalibPoint::FromRecord(record));
    }
}

} // namespace carteva
