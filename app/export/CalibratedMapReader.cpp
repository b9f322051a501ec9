// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/CalibratedMapReader.h"

#include "calibration/CalibrationFile.h"
#include "calibration/Errors.h"
#include "picture/PictureLoader.h"

#include <QFile>

#include <cmath>
#include <limits>
#include <system_error>

namespace carteva {

namespace fs = std::filesystem;

namespace {

QString QtName(const fs::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

fs::path FolderOf(const fs::path &file)
{
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

// The bitmap relative to the output's folder, through the real folders (symbolic links resolved,
// so that ".." steps out of the right one), keeping the bitmap's own file name.
void NameImage(const fs::path &bitmap, const fs::path &outputFolder, CalibratedMap &map)
{
    std::error_code error;
    const fs::path from = fs::canonical(outputFolder, error);
    if (!error) {
        const fs::path to = fs::canonical(FolderOf(bitmap), error);
        const fs::path relative = to.lexically_relative(from);
        if (!error && !relative.empty()) {
            map.Image = (relative / bitmap.filename()).lexically_normal().generic_string();
            map.ImageIsRelative = true;
            return;
        }
    }
    map.Image = fs::absolute(bitmap).lexically_normal().string();
    map.ImageIsRelative = false;
}

// The double nearest to a coordinate, or nothing when there is none: infinities, NaNs, encodings
// the x87 unit refuses and magnitudes beyond the double range.
bool ToDouble(Extended value, double &result)
{
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<double>::max())
        return false;
    result = static_cast<double>(value);
    return std::isfinite(result);
}

} // namespace

fs::path CalibratedMapReader::CalibrationFileOf(const fs::path &bitmap)
{
    const std::u16string name = CalibrationFileName(QtName(bitmap).toStdU16String());
    return fs::path(QFile::encodeName(QString::fromStdU16String(name)).toStdString());
}

CalibratedMap CalibratedMapReader::Read(const fs::path &bitmap, const fs::path &outputFolder,
                                        std::vector<std::string> &warnings)
{
    CalibratedMap map;
    Picture picture;
    try {
        picture = LoadPicture(QtName(bitmap));
    } catch (const Error &error) {
        throw Error(bitmap.native() + ": " + error.what());
    }
    map.Width = picture.Width();
    map.Height = picture.Height();
    map.GdalReadsImage = picture.Kind() == PictureKind::Bitmap;
    const QImage::Format format = picture.Image().format();
    if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono
        || format == QImage::Format_MonoLSB) {
        const QList<QRgb> colours = picture.Image().colorTable();
        map.Palette.assign(colours.begin(), colours.end());
    }
    map.Title = bitmap.stem().native();
    NameImage(bitmap, outputFolder, map);

    const fs::path calibration = CalibrationFileOf(bitmap);
    std::vector<TCalibPoint> points;
    switch (ReadCalibrationFile(calibration, points)) {
    case CalibrationReadResult::Complete:
        break;
    case CalibrationReadResult::NoSuchFile:
        throw Error(calibration.native() + ": there is no calibration file for " + bitmap.native()
                    + "; calibrate it in Carteva first");
    case CalibrationReadResult::Failed:
        throw Error(calibration.native()
                    + ": the calibration file cannot be read, or it ends inside a record");
    }

    for (std::size_t i = 0; i < points.size(); ++i) {
        ExportPoint point;
        point.Record = i + 1;
        point.X = points[i].X;
        point.Y = points[i].Y;
        point.ExactLat = points[i].Lat;
        point.ExactLon = points[i].Lon;
        if (!ToDouble(point.ExactLat, point.Lat) || !ToDouble(point.ExactLon, point.Lon)) {
            warnings.push_back(calibration.native() + ": record " + std::to_string(point.Record)
                               + " has a latitude or longitude that is not a finite number; "
                                 "left out");
            continue;
        }
        map.Points.push_back(point);
    }
    if (points.empty())
        warnings.push_back(calibration.native() + ": the calibration file holds no points");
    return map;
}

} // namespace carteva
