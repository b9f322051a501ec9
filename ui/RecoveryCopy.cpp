// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/RecoveryCopy.h"

#include "calibration/CalibrationFile.h"
#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileOps.h"
#include "picture/PathCrossing.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <filesystem>

namespace carteva {

namespace {

QString Folder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (data.isEmpty())
        throw Error("no folder for the user's data");
    const QString folder = data + QStringLiteral("/recovered");
    if (!QDir().mkpath(folder))
        throw Error("cannot create " + folder.toStdString());
    return folder;
}

} // namespace

QString RecoveryCopy::Write(const QString &calibrationFileName, std::int32_t width,
                            std::int32_t height, std::span<const TCalibPoint> points)
{
    if (path_.isEmpty()) {
        path_ = Keep(calibrationFileName, EncodeCalibration(width, height, points));
        return path_;
    }
    WriteCalibrationFile(StdPath(path_), width, height, points);
    return path_;
}

QString RecoveryCopy::Keep(const QString &calibrationFileName, std::span<const std::uint8_t> bytes)
{
    // valley.cali -> valley-20261207-142501.cali: it sorts by time and opens as what it is.
    FileOps posix;
    return QtPath(CreateDatedCopy(posix, StdPath(Folder()),
                                  StdPath(QFileInfo(calibrationFileName).fileName()), bytes));
}

} // namespace carteva
