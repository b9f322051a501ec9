// SPDX-License-Identifier: GPL-2.0-or-later
// The calibration file reader on any bytes: it keeps exactly the whole records, says whether a
// tail was left over, and a complete file written back gives the same bytes. The points it reads
// are then shown and mapped as the window would, whatever bit patterns they hold.
#include "FuzzInput.h"

#include "calibration/CalibrationFile.h"
#include "calibration/Errors.h"
#include "calibration/GeoToPixel.h"
#include "calibration/NumberText.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

using namespace carteva;

namespace {

std::vector<std::uint8_t> ReadBack(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string path = fuzz::WriteInputFile("cali", data, size);
    std::vector<TCalibPoint> points;
    const CalibrationReadResult result = ReadCalibrationFile(path, points);

    const std::size_t whole = size < 8 ? 0 : (size - 8) / TCalibPoint::RecordSize;
    const bool tail = size < 8 || (size - 8) % TCalibPoint::RecordSize != 0;
    if (points.size() != whole)
        fuzz::Broken("records lost or made up");
    if (result != (tail ? CalibrationReadResult::Failed : CalibrationReadResult::Complete))
        fuzz::Broken("wrong read result");
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TCalibPoint::Record record = points[i].ToRecord();
        if (std::memcmp(record.data(), data + 8 + i * record.size(), record.size()) != 0)
            fuzz::Broken("a record does not write back as read");
    }

    if (result == CalibrationReadResult::Complete) {
        std::int32_t header[2];
        std::memcpy(header, data, sizeof header);
        WriteCalibrationFile(path, header[0], header[1], points);
        const std::vector<std::uint8_t> written = ReadBack(path);
        if (written.size() != size || std::memcmp(written.data(), data, size) != 0)
            fuzz::Broken("the file written back differs");
    }

    for (std::size_t i = 0; i < points.size() && i < 8; ++i) {
        FormatCoordinate(6, points[i].Lat);
        FormatCoordinate(6, points[i].Lon);
        try {
            GeoToPixel(points, points[i].Lat, points[i].Lon);
        } catch (const EInvalidOp &) {
        } catch (const EZeroDivide &) {
        } catch (const EOverflow &) { }
    }
    return 0;
}
