// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/CalibratedMapReader.h"

#include "app/export/PointLayout.h"
#include "calibration/CalibrationFile.h"
#include "calibration/Errors.h"
#include "calibration/FileLock.h"
#include "calibration/FileOps.h"
#include "calibration/MapProjection.h"
#include "calibration/ProjectionFile.h"
#include "calibration/RewriteJournal.h"
#include "picture/PictureHeader.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <system_error>
#include <utility>

namespace carteva {

namespace fs = std::filesystem;

namespace {

// Where the window keeps the journals of rewrites in place that no folder beside the file took:
// its data folder, as Qt names it for the application "Carteva".
fs::path JournalFolder()
{
    const char *data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && fs::path(data).is_absolute())
        return fs::path(data) / "Carteva" / "journal";
    const char *home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        return {};
    return fs::path(home) / ".local" / "share" / "Carteva" / "journal";
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
    const std::string &bytes = bitmap.native();
    const QString name = QString::fromUtf8(bytes);
    // Characters are counted in UTF-16 as the window counts them; a name that is no UTF-8 keeps
    // its bytes and loses its last three.
    if (name.toUtf8().toStdString() != bytes)
        return fs::path(bytes.substr(0, bytes.size() - std::min<std::size_t>(3, bytes.size()))
                        + "cali");
    const std::u16string cali = CalibrationFileName(name.toStdU16String());
    return fs::path(QString::fromStdU16String(cali).toUtf8().toStdString());
}

CalibratedMap CalibratedMapReader::Read(const fs::path &bitmap, const fs::path &outputFolder,
                                        std::vector<std::string> &warnings,
                                        const std::string *projection, bool projectionUsed)
{
    CalibratedMap map;
    PictureHeader picture;
    try {
        picture = PictureHeader::Read(bitmap);
    } catch (const Error &error) {
        throw Error(bitmap.native() + ": " + error.what());
    }
    map.Width = picture.Width;
    map.Height = picture.Height;
    map.GdalReadsImage = picture.Kind == PictureKind::Bitmap;
    map.Palette = std::move(picture.Palette);
    map.Title = bitmap.stem().native();
    NameImage(bitmap, outputFolder, map);

    const fs::path calibration = CalibrationFileOf(bitmap);
    std::vector<TCalibPoint> points;
    std::string failure;
    // Read under the file's lock, as the window writes it: never a save half done.
    FileOps ops;
    const FileLock lock(ops, calibration);
    if (RewriteJournal::Pending(ops, calibration, JournalFolder()))
        throw Error(calibration.native()
                    + ": a save of it was cut off midway and is not finished yet; open the map in "
                      "Carteva, which finishes it, then export again");
    switch (ReadCalibrationFile(calibration, points, ops, &failure)) {
    case CalibrationReadResult::Complete:
        break;
    case CalibrationReadResult::NoSuchFile:
        throw Error(calibration.native() + ": there is no calibration file for " + bitmap.native()
                    + "; calibrate it in Carteva first");
    case CalibrationReadResult::Failed: {
        // The reason names the file too; once is enough.
        const std::string prefix = calibration.native() + ": ";
        if (failure.compare(0, prefix.size(), prefix) == 0)
            failure.erase(0, prefix.size());
        throw Error(prefix + "the calibration file cannot be read: " + failure);
    }
    }

    // The map's own projection: as given, or found beside the calibration as the window finds it.
    try {
        map.Projection = projection
            ? ProjectionFile::Make(*projection, "--projection " + *projection)
            : ProjectionFile::Open(calibration);
    } catch (const Error &error) {
        // A definition typed on the command line is wrong whatever the format.
        if (projectionUsed || projection)
            throw;
        warnings.push_back(std::string(error.what()) + "; this format does not use the projection");
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
    else if (points.size() < 3)
        warnings.push_back(calibration.native() + ": only " + std::to_string(points.size())
                           + (points.size() == 1 ? " point" : " points")
                           + "; GDAL needs three to warp");
    for (const std::string &finding : PointLayout::Findings(map.Points))
        warnings.push_back(calibration.native() + ": " + finding);
    return map;
}

} // namespace carteva
